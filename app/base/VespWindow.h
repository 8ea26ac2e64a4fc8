// The base of every top-level window (main window, options dialog, comfort gauge): a frameless
// rounded window painted with a midnight-blue gradient, three tool buttons at the top right,
// dragging anywhere, a lazily made status bar and content area, and a critical message box for
// a fatal-error text posted to it (from any thread). Derived constructors end with setUpWindow().
#pragma once

#include <QDialog>
#include <QPoint>

class QToolButton;
class VPStatusBar;

class VespWindow : public QDialog {
    Q_OBJECT
public:
    explicit VespWindow(QWidget* parent);

    // Called by a derived constructor before setUpWindow().
    void setCloseButtonShown(bool shown) { closeButtonShown = shown; }
    void setConfigureButtonShown(bool shown) { configureButtonShown = shown; }
    // The last step of every derived constructor: applies the button flags, then init().
    void setUpWindow();

    VPStatusBar* statusBar();
    QWidget* contentWidget();
    void centerOnDesktop();

    void setupUi(QWidget* window);
    void retranslateUi(QWidget* window);

    // Builds the window's content, once, from setUpWindow(); the base creates the status bar.
    virtual void init();
    // The settings button; the base does nothing.
    virtual void configure();

protected:
    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

    QWidget* centralWidget = nullptr;
    QToolButton* btnClose = nullptr;      // minimise: hides the window (to the tray)
    QToolButton* btnConfigure = nullptr;  // settings
    QToolButton* btnClose2 = nullptr;     // close

private slots:
    void on_btnClose_clicked();
    void on_btnClose2_clicked();
    void on_btnConfigure_clicked();

private:
    // Along the bottom edge, inside the rounded corners.
    void placeStatusBar();

    bool dragging = false;
    QPoint dragPosition;  // global cursor position at the last press or move while dragging
    bool closeButtonShown = true;
    bool configureButtonShown = true;
    VPStatusBar* statusBarWidget = nullptr;
    QWidget* contentArea = nullptr;
};
