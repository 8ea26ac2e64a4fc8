// The program's modal message boxes (fatal errors, status pop-ups, a rejected stored
// location), shown through one place so that a test can see what would be shown instead of
// blocking on a modal box. GUI thread only.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

class VPMessageBox {
public:
    using Shower = std::function<void(QMessageBox::Icon icon, QWidget* parent, const QString& title,
                                      const QString& text)>;

    // QMessageBox::critical / information with an OK button only.
    static void critical(QWidget* parent, const QString& title, const QString& text);
    static void information(QWidget* parent, const QString& title, const QString& text);
    // The same information box, shown without blocking: it opens once the event loop runs and
    // leaves the caller (and the window behind it) going. Start-up uses it, so that a notice
    // never holds the main window back. A test's shower gets it at once. The box deletes
    // itself when closed; null when a shower took it.
    static QMessageBox* informationLater(QWidget* parent, const QString& title,
                                         const QString& text);

    // Replaces the modal box; an empty shower restores it. For tests.
    static void setShower(Shower shower);

private:
    static void show(QMessageBox::Icon icon, QWidget* parent, const QString& title,
                     const QString& text);
};
