#include <gtest/gtest.h>

#include <QDomDocument>
#include <QDomElement>
#include <QThread>
#include <mutex>
#include <string>

#include "services/XMLHelper.h"

using vpcore::XMLHelper;

namespace {

// Pre-order, depth-first matters: the "name" inside <group> comes before the later sibling.
const char* const kDocument = R"(<?xml version="1.0"?>
<root>
  <!-- name Tex -->
  <name id="n1">Other</name>
  <group id="g1">
    <name id="n2">Texas</name>
    <weather id="w1" time-layout="k-p12h-n14-1">a</weather>
    <layout-key id="k1">
      k-p24h-n7-1
    </layout-key>
  </group>
  <name id="n3">Tex</name>
  <weather id="w2" time-layout="k-p24h-n7-1"/>
  <weather id="w3" time-layout="k-p12h-n13-2">b</weather>
  <weather id="w4">c</weather>
  <layout-key id="k2">k-p12h-n13-2</layout-key>
</root>
)";

class XMLHelperTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(doc.setContent(QString::fromUtf8(kDocument))); }

    static std::string idOf(const QDomNode& node) {
        return node.isNull() ? std::string("(none)")
                             : node.toElement().attribute("id").toStdString();
    }

    QDomDocument doc;
};

TEST_F(XMLHelperTest, FindNodeWhereTextEquals) {
    struct Case {
        const char* name;
        const char* text;
        bool startsWith;
        const char* expectedId;
    };
    const Case cases[] = {
        {"name", "Tex", true, "n2"},
        {"name", "Tex", false, "n3"},
        {"name", "tex", false, "(none)"},
        {"NAME", "Tex", true, "(none)"},
        {"name", "Nope", true, "(none)"},
        {"name", "", true, "n1"},
        {"layout-key", "k-p12h", true, "k2"},
        // Texts are compared as they stand, surrounding white space included.
        {"layout-key", "k-p24h", true, "(none)"},
        // The element's text includes that of its descendants.
        {"group", "Texas", true, "g1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " '" + c.text + "' startsWith " +
                     (c.startsWith ? "true" : "false"));
        EXPECT_EQ(idOf(XMLHelper::findNodeWhereTextEquals(doc, c.name, c.text, c.startsWith)),
                  c.expectedId);
    }
}

TEST_F(XMLHelperTest, FindNodeWhereAttributeEquals) {
    struct Case {
        const char* name;
        const char* attribute;
        const char* value;
        bool startsWith;
        const char* expectedId;
    };
    const Case cases[] = {
        {"weather", "time-layout", "k-p12h", true, "w1"},
        {"weather", "time-layout", "k-p12h-n13-2", false, "w3"},
        {"weather", "time-layout", "k-p12h", false, "(none)"},
        {"weather", "time-layout", "K-P12H", true, "(none)"},
        {"weather", "time-layout", "", true, "w1"},
        // An element without the attribute never matches, not even an empty value.
        {"weather", "missing", "", true, "(none)"},
        {"weather", "missing", "", false, "(none)"},
        {"name", "id", "n3", false, "n3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " @" + c.attribute + " '" + c.value + "'");
        EXPECT_EQ(idOf(XMLHelper::findNodeWhereAttributeEquals(doc, c.name, c.attribute, c.value,
                                                               c.startsWith)),
                  c.expectedId);
    }
}

TEST_F(XMLHelperTest, SearchStaysBelowTheStartNodeAndNeverTestsIt) {
    const QDomElement group = doc.documentElement().firstChildElement("group");
    ASSERT_FALSE(group.isNull());

    EXPECT_EQ(idOf(XMLHelper::findNodeWhereAttributeEquals(group, "group", "id", "g1", false)),
              "(none)");
    EXPECT_EQ(idOf(XMLHelper::findNodeWhereTextEquals(group, "name", "Tex", false)), "(none)");
    EXPECT_EQ(idOf(XMLHelper::findNodeWhereAttributeEquals(group, "weather", "time-layout",
                                                           "k-p12h-n13-2", false)),
              "(none)");
    EXPECT_EQ(idOf(XMLHelper::findNodeWhereTextEquals(group, "name", "Tex", true)), "n2");

    const QDomElement leaf = group.firstChildElement("name");
    EXPECT_TRUE(XMLHelper::findNodeWhereTextEquals(leaf, "name", "Texas", false).isNull());
    EXPECT_TRUE(XMLHelper::findNodeWhereTextEquals(QDomNode(), "name", "", true).isNull());
}

}  // namespace

TEST_F(XMLHelperTest, DeeplyNestedDocumentIsSearchedOnASmallStack) {
    // A reply nested far deeper than any feed; a search that recursed once per level would
    // overflow the 64 KiB stack of the thread below.
    const int depth = 2000;
    std::string text;
    for (int i = 0; i < depth; ++i) {
        text += "<level n=\"" + std::to_string(i) + "\">";
    }
    text += "<name>deepest</name>";
    for (int i = 0; i < depth; ++i) {
        text += "</level>";
    }
    QDomDocument document;
    ASSERT_TRUE(document.setContent(QByteArray::fromStdString("<root>" + text + "</root>")));

    QString foundText;
    QString foundLevel;
    bool missNull = false;
    // QThread's join is invisible to ThreadSanitizer; the mutex hands the results over.
    std::mutex results;
    QThread* const search = QThread::create([&] {
        std::lock_guard<std::mutex> lock(results);
        const QDomNode found =
            XMLHelper::findNodeWhereTextEquals(document, "name", "deepest", false);
        foundText = found.toElement().text();
        foundLevel = found.parentNode().toElement().attribute("n");
        missNull =
            XMLHelper::findNodeWhereAttributeEquals(document, "level", "n", "x", false).isNull();
    });
    search->setStackSize(64 * 1024);
    search->start();
    ASSERT_TRUE(search->wait(60000));
    delete search;
    std::lock_guard<std::mutex> lock(results);

    EXPECT_EQ(foundText, "deepest");
    EXPECT_EQ(foundLevel, QString::number(depth - 1));
    EXPECT_TRUE(missNull);
}
