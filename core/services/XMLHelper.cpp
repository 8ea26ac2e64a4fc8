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
    for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!child.isElement()) {
            continue;
        }
        if (predicate(child)) {
            return child;
        }
        const QDomNode found = findNode(child, predicate);
        if (!found.isNull()) {
            return found;
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
