#include "widgets/QPairListModel.h"

QPairListModel::QPairListModel(QObject* parent) : QAbstractListModel(parent) {}

void QPairListModel::setPairs(const std::vector<std::pair<std::string, std::string>>& list) {
    pairs = list;
}

int QPairListModel::rowCount(const QModelIndex&) const {
    return static_cast<int>(pairs.size());
}

QVariant QPairListModel::data(const QModelIndex& index, int role) const {
    if (index.row() < 0 || index.row() >= rowCount() || role != Qt::DisplayRole) {
        return QVariant();
    }
    return QString::fromStdString(pairs[static_cast<size_t>(index.row())].first);
}

QString QPairListModel::valueAt(int row) const {
    return QString::fromStdString(pairs.at(static_cast<size_t>(row)).second);
}

int QPairListModel::indexOfValue(const std::string& value) const {
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (pairs[i].second == value) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
