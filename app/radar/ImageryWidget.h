// The radar page of the main window (page 2): one centred picture label for the composed image
// layers, and a "Back to Current Conditions" link. An ImageOverlayHandler fills it and sets its
// show and hide handlers, which run when the page comes on or leaves the screen; the page knows
// no handler, it tells them through its signals when it goes away or the user leaves it.
// GUI thread only.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class VPLinkLabel;

class ImageryWidget : public QWidget {
    Q_OBJECT
public:
    explicit ImageryWidget(QWidget* parent);
    // Releases the handlers that draw into this page: none may outlive it.
    ~ImageryWidget() override;

    void setImage(const QImage& image);
    void setText(const QString& text);

    void setHideHandler(std::function<void()> handler);
    void setShowHandler(std::function<void()> handler);

signals:
    // From the destructor: nothing may draw into the page from now on.
    void aboutToBeDestroyed(const ImageryWidget* page);
    // The user left the page through its back link: every overlay stops.
    void backLinkClicked();

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private slots:
    void onCloseLinkClicked(VPLinkLabel* link);

private:
    QLabel* pictureLabel = nullptr;
    std::function<void()> hideHandler;
    std::function<void()> showHandler;
};
