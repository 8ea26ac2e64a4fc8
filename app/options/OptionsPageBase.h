// The base of every page of the options dialog: a header with the page's title and a red
// error line, a content area, and the operations through which the dialog validates a page
// and saves it when the user leaves it or closes the dialog. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QSettings;
class QVBoxLayout;

class OptionsPageBase : public QWidget {
    Q_OBJECT
public:
    OptionsPageBase(const QString& name, QWidget* parent);

    // False, with the reason in error, when the page's input cannot be saved.
    virtual bool validate(QString& error);
    // Writes the page's settings.
    virtual void save() = 0;

public slots:
    // Forgets what the user started on the page; the base clears the error line.
    virtual void resetAll();

public:
    // The header's text: the name followed by " Options" unless a page says otherwise.
    virtual QString title() const;

    void setError(const QString& text);

public slots:
    void clearError();

protected:
    // A page's constructor calls buildHeader first, then contentWidget, then fills the content.
    void buildHeader();
    QWidget* contentWidget();

    const QString& pageName() const { return name; }

    // Writes the page's settings to disk. When that, or one of the earlier writes named in
    // otherFailures, failed, an information box tells the user which file and why, and that
    // the change holds only until the program exits; a failure that the last save of the page
    // told already is only logged. False when the settings were not written.
    bool commitSettings(QSettings& settings, const QStringList& otherFailures = {});

private:
    QString name;
    QWidget* content = nullptr;
    QVBoxLayout* pageLayout = nullptr;
    QLabel* errorLabel = nullptr;   // null until buildHeader
    QStringList toldWriteFailures;  // of the last save, told in a box already
};
