// Searches in a parsed XML document, used by the providers and the code tables: the first
// element below a node, depth-first in document order, with a given text or attribute value.
// Stateless, callable from any thread.
#pragma once

#include <QDomNode>
#include <QString>

#include "services/FastDelegate.h"
#include "services/VpCoreExport.h"

namespace vpcore {

class VPCORE_EXPORT XMLHelper {
public:
    // The first element named `name` below `node` (never `node` itself) whose text equals
    // `text`, or starts with it when startsWith is true; a null node when none does.
    static QDomNode findNodeWhereTextEquals(const QDomNode& node, const QString& name,
                                            const QString& text, bool startsWith);

    // The first element named `name` below `node` whose attribute `attribute` equals `value`,
    // or starts with it when startsWith is true; a null node when none does.
    static QDomNode findNodeWhereAttributeEquals(const QDomNode& node, const QString& name,
                                                 const QString& attribute, const QString& value,
                                                 bool startsWith);

private:
    struct TextEqualsPredicate {
        QString name;
        QString text;
        bool startsWith;
        bool accept(const QDomNode& node) const;
    };

    struct AttributeEqualsPredicate {
        QString name;
        QString attribute;
        QString value;
        bool startsWith;
        bool accept(const QDomNode& node) const;
    };

    static QDomNode findNode(const QDomNode& node,
                             fastdelegate::FastDelegate1<const QDomNode&, bool> predicate);
};

}  // namespace vpcore
