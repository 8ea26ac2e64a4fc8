// A list model over (shown text, value) pairs for the combo boxes of the options pages.
// setPairs does not announce the change: fill a new model, then hand it to the view.
#pragma once

#include <QAbstractListModel>
#include <string>
#include <utility>
#include <vector>

class QPairListModel : public QAbstractListModel {
public:
    explicit QPairListModel(QObject* parent);

    void setPairs(const std::vector<std::pair<std::string, std::string>>& list);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // row must be a valid row.
    QString valueAt(int row) const;
    // The first row whose value equals value exactly, or -1.
    int indexOfValue(const std::string& value) const;

private:
    std::vector<std::pair<std::string, std::string>> pairs;
};
