#include "services/XMLHelper.h"

#include <QDomElement>
#include <QDomNodeList>

namespace vpcore {

bool XMLHelper::TextEqualsPredicate::accept(const QDomNode& node) const {
    if (!node.isElement() || node.nodeName() != name) {
        return false;
    }
    const QString elementText = node.toElement().text();
    return startsWith ? elementText.startsWith(text) : elementText == text;
}

bool XMLHelper::AttributeEqualsPredicate::accept(const QDomNode& node) const {
    if (!node.isElement() || node.nodeName() != name) {
        return false;
    }
    const QDomElement element = node.toElement();
    if (!element.hasAttribute(attribute)) {
        return false;
    }
    const QString attributeValue = element.attribute(attribute);
    return startsWith ? attributeValue.startsWith(value) : attributeValue == value;
}

QDomNode XMLHelper::findNode(const QDomNode& node,
                             fastdelegate::FastDelegate1<const QDomNode&, bool> predicate) {
    // Depth-first in document order without recursion: a reply nested thousands of levels
    // deep would otherwise overflow the stack of the thread that searches it.
    QDomNode current = node.firstChild();
    while (!current.isNull()) {
        if (current.isElement()) {
            if (predicate(current)) {
                return current;
            }
            const QDomNode child = current.firstChild();
            if (!child.isNull()) {
                current = child;
                continue;
            }
        }
        // The next sibling, or that of the closest ancestor below `node` that has one.
        for (;;) {
            const QDomNode sibling = current.nextSibling();
            if (!sibling.isNull()) {
                current = sibling;
                break;
            }
            current = current.parentNode();
            if (current.isNull() || current == node) {
                return QDomNode();
            }
        }
    }
    return QDomNode();
}

QDomNode XMLHelper::findNodeWhereTextEquals(const QDomNode& node, const QString& name,
                                            const QString& text, bool startsWith) {
    const TextEqualsPredicate predicate{name, text, startsWith};
    return findNode(node, fastdelegate::FastDelegate1<const QDomNode&, bool>(
                              &predicate, &TextEqualsPredicate::accept));
}

QDomNode XMLHelper::findNodeWhereAttributeEquals(const QDomNode& node, const QString& name,
                                                 const QString& attribute, const QString& value,
                                                 bool startsWith) {
    const AttributeEqualsPredicate predicate{name, attribute, value, startsWith};
    return findNode(node, fastdelegate::FastDelegate1<const QDomNode&, bool>(
                              &predicate, &AttributeEqualsPredicate::accept));
}

}  // namespace vpcore
