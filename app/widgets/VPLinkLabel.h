// A clickable, underlined link label, active (blue, reacts to clicks) or inactive (grey). Its
// users read url() in their click handlers; the provider link updaters fill it from worker
// threads by posting a VPLinkLabelEvent. GUI thread only otherwise.
#pragma once

#include <QLabel>
#include <QString>

#include "widgets/VPDataEvent.h"

class VPLinkLabel : public QLabel {
    Q_OBJECT
public:
    // What a link label shall show; carried by VPLinkLabelEvent.
    struct EventInfo {
        bool visible = false;
        QString url;
        QString text;
    };

    class VPLinkLabelEvent : public VPDataEvent<EventInfo> {
    public:
        explicit VPLinkLabelEvent(EventInfo info) : VPDataEvent<EventInfo>(std::move(info)) {}
    };

    explicit VPLinkLabel(QWidget* parent);

    void setLinkStyle(bool active);
    bool isLinkActive() const { return linkActive; }
    void setUrl(const QString& address) { linkUrl = address; }
    QString url() const { return linkUrl; }

signals:
    void clicked(VPLinkLabel* label);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    bool event(QEvent* e) override;

private:
    bool linkActive = true;
    QString linkUrl;
};
