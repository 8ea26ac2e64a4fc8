#include "base/VespWindow.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QToolButton>

#include "widgets/ToolTipStyle.h"
#include "widgets/VPDataEvent.h"
#include "widgets/VPMessageBox.h"
#include "widgets/VPStatusBar.h"

namespace {

// Keyboard focus is shown in rgb(255, 190, 40): it stands out on the midnight blue and on the
// white below.

// Transparent and borderless; with keyboard focus a frame in the focus colour.
// The buttons' tips open under this sheet too: they keep colours of their own.
const QString kButtonStyle =
    QString(
        "QToolButton { background-color: rgba(255, 255, 255, 0); border: none; }"
        " QToolButton:focus { border: 2px solid rgb(255, 190, 40); border-radius: 4px; } ") +
    TOOL_TIP_STYLE;

// The style draws keyboard focus (buttons, fields, boxes) in the selection colour, given here;
// the page list keeps its transparent selection. Widgets drawn by style sheets get a frame in
// the focus colour while they have focus; check boxes and radio buttons (whose indicators
// the pages style) an outline.
const char* const kFocusStyle =
    "QWidget { selection-background-color: rgb(255, 190, 40); selection-color: black; }"
    " QListWidget { selection-background-color: transparent; selection-color: white; }"
    " QListWidget:focus, QScrollArea:focus, QTextEdit:focus { border: 2px solid rgb(255, 190, "
    "40); }"
    " QCheckBox, QRadioButton { outline: 1px solid rgb(255, 190, 40); }";

QToolButton* makeButton(QWidget* parent, const char* name, const QRect& geometry,
                        const char* iconResource) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setCursor(Qt::PointingHandCursor);
    QIcon icon;
    icon.addPixmap(QPixmap(iconResource), QIcon::Normal, QIcon::Off);
    button->setIcon(icon);
    button->setIconSize(QSize(32, 32));
    button->setCheckable(false);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(false);
    return button;
}

}  // namespace

VespWindow::VespWindow(QWidget* parent) : QDialog(parent) {
    // A mask alone leaves the window manager's frame and title bar on X11.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setupUi(this);
    // Keyboard focus must be seen on the dark window.
    setStyleSheet(kFocusStyle);
    centerOnDesktop();
    setMinimumSize(300, 200);
}

void VespWindow::setupUi(QWidget* window) {
    if (window->objectName().isEmpty()) {
        window->setObjectName("VespWindowClass");
    }
    window->resize(600, 480);
    centralWidget = new QWidget(window);
    centralWidget->setObjectName("centralWidget");
    centralWidget->setGeometry(QRect(0, 0, 1119, 31));
    btnClose =
        makeButton(centralWidget, "btnClose", QRect(500, 0, 20, 20), ":/Resources/Down_Arrow.png");
    btnConfigure = makeButton(centralWidget, "btnConfigure", QRect(470, 0, 20, 20),
                              ":/Resources/settings.png");
    btnClose2 = makeButton(centralWidget, "btnClose2", QRect(530, 0, 20, 20),
                           ":/Resources/window_close_lighter.png");
    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void VespWindow::retranslateUi(QWidget* window) {
    window->setWindowTitle(QCoreApplication::translate("VespWindowClass", "VespWindow"));
    const std::pair<QToolButton*, const char*> tips[] = {
        {btnClose, "Minimize"}, {btnConfigure, "Customize settings"}, {btnClose2, "Close window"}};
    for (const auto& [button, tip] : tips) {
        button->setToolTip(QCoreApplication::translate("VespWindowClass", tip));
        button->setStyleSheet(kButtonStyle);
        button->setText(QString());
    }
}

void VespWindow::setUpWindow() {
    if (!configureButtonShown) {
        btnConfigure->hide();
    }
    btnClose->setVisible(!closeButtonShown);
    btnClose2->setVisible(closeButtonShown);
    init();
}

void VespWindow::init() {
    statusBar();
}

void VespWindow::configure() {}

VPStatusBar* VespWindow::statusBar() {
    if (statusBarWidget == nullptr) {
        statusBarWidget = new VPStatusBar(this);
        placeStatusBar();
        statusBarWidget->setSizeGripEnabled(false);
    }
    return statusBarWidget;
}

void VespWindow::placeStatusBar() {
    // As far from the right edge as from the left: the rounded corner would cover the busy
    // indicator at the bar's right end.
    statusBarWidget->setGeometry(40, height() - 20, width() - 80, 22);
}

QWidget* VespWindow::contentWidget() {
    if (contentArea == nullptr) {
        contentArea = new QWidget(this);
        contentArea->resize(width() - 10, height() - 60);
        contentArea->move(10, 30);
    }
    return contentArea;
}

void VespWindow::centerOnDesktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect desktop = screen->availableGeometry();
    move(desktop.x() + (desktop.width() - width()) / 2,
         desktop.y() + (desktop.height() - height()) / 2);
}

bool VespWindow::event(QEvent* e) {
    if (e->type() == VPDataEventQString::eventType()) {
        VPMessageBox::critical(this, QString(), static_cast<VPDataEventQString*>(e)->data());
        return true;
    }
    return QDialog::event(e);
}

void VespWindow::mousePressEvent(QMouseEvent* e) {
    QDialog::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) {
        dragPosition = e->globalPosition().toPoint();
        dragging = true;
    }
}

void VespWindow::mouseMoveEvent(QMouseEvent* e) {
    QDialog::mouseMoveEvent(e);
    if (dragging) {
        const QPoint now = e->globalPosition().toPoint();
        const QPoint delta = now - dragPosition;
        move(x() + delta.x(), y() + delta.y());
        dragPosition = now;
    }
}

void VespWindow::mouseReleaseEvent(QMouseEvent* e) {
    QDialog::mouseReleaseEvent(e);
    dragging = false;
}

void VespWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient gradient(width() / 2, 0, width() / 2, height());
    gradient.setColorAt(0, QColor(25, 25, 112, 255));
    gradient.setColorAt(1, Qt::white);
    painter.fillRect(0, 0, width(), height(), gradient);
    painter.fillRect(20, height() - 25, width() - 40, 1, Qt::gray);
}

void VespWindow::resizeEvent(QResizeEvent*) {
    QPixmap pixmap(size());
    pixmap.fill(Qt::white);
    {
        QPainter painter(&pixmap);
        painter.setBrush(QBrush(Qt::black, Qt::SolidPattern));
        painter.drawRoundedRect(pixmap.rect(), 20, 20, Qt::RelativeSize);
    }
    setMask(pixmap.createMaskFromColor(Qt::white));
    btnClose->move(pixmap.width() - 80, 3);
    btnClose2->move(pixmap.width() - 80, 3);
    btnConfigure->move(pixmap.width() - 108, 3);
    if (statusBarWidget != nullptr) {
        placeStatusBar();
    }
}

void VespWindow::on_btnClose_clicked() {
    // Hidden, the window comes back through the tray icon; without a tray it would be lost
    // with the program still running, so it is minimised instead.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        setVisible(false);
    } else {
        showMinimized();
    }
}

void VespWindow::on_btnClose2_clicked() {
    close();
}

void VespWindow::on_btnConfigure_clicked() {
    configure();
}
