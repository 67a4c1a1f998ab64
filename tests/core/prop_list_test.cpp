#include "core/prop_list.h"

#include <QObject>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Control : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString text MEMBER text)
  Q_PROPERTY(bool checked MEMBER checked)
  Q_PROPERTY(Align align MEMBER align)
  Q_PROPERTY(int count MEMBER count)
  Q_PROPERTY(QString caption READ caption)

 public:
  enum Align { AlignLeft, AlignRight, False };
  Q_ENUM(Align)

  QString caption() const { return QStringLiteral("read only"); }

  QString text;
  bool checked = false;
  Align align = AlignLeft;
  int count = 0;
};

TEST(PropList, ReadsPropertiesByNameWithoutLetterCase) {
  Control c;
  c.text = "  /in/*.xls ";
  c.checked = true;
  c.align = Control::AlignRight;
  c.count = -42;
  TkvPropList props(&c);
  QString v;
  EXPECT_TRUE(props.ReadProp("Text", v));
  EXPECT_EQ(v, "  /in/*.xls ");
  EXPECT_TRUE(props.ReadProp("Checked", v));
  EXPECT_EQ(v, "True");
  EXPECT_TRUE(props.ReadProp("ALIGN", v));
  EXPECT_EQ(v, "AlignRight");
  EXPECT_TRUE(props.ReadProp("count", v));
  EXPECT_EQ(v, "-42");
  v = "unchanged";
  EXPECT_FALSE(props.ReadProp("Missing", v));
  EXPECT_EQ(v, "unchanged");
}

TEST(PropList, WritesOnlyValuesThatFit) {
  Control c;
  TkvPropList props(&c);
  EXPECT_TRUE(props.WriteProp("Checked", "tRUE"));
  EXPECT_TRUE(c.checked);
  // Numbers read as Booleans, as every option reader sees them; other text
  // names no value and changes nothing.
  EXPECT_TRUE(props.WriteProp("Checked", "0"));
  EXPECT_FALSE(c.checked);
  EXPECT_TRUE(props.WriteProp("Checked", "1"));
  EXPECT_TRUE(c.checked);
  EXPECT_FALSE(props.WriteProp("Checked", "yes"));
  EXPECT_TRUE(c.checked);
  EXPECT_TRUE(props.WriteProp("Checked", ""));
  EXPECT_FALSE(c.checked);

  EXPECT_TRUE(props.WriteProp("Align", "alignright"));
  EXPECT_EQ(c.align, Control::AlignRight);
  EXPECT_FALSE(props.WriteProp("Align", "Centre"));
  EXPECT_EQ(c.align, Control::AlignRight);
  EXPECT_TRUE(props.WriteProp("Align", ""));  // empty is taken as "False"
  EXPECT_EQ(c.align, Control::False);

  EXPECT_TRUE(props.WriteProp("Count", "$10"));
  EXPECT_EQ(c.count, 16);
  EXPECT_FALSE(props.WriteProp("Count", "ten"));
  EXPECT_EQ(c.count, 16);

  EXPECT_TRUE(props.WriteProp("Text", " a=b "));
  EXPECT_EQ(c.text, " a=b ");
  EXPECT_FALSE(props.WriteProp("Caption", "x"));
  EXPECT_FALSE(props.WriteProp("Missing", "x"));
}

TEST(PropList, DestroyedObjectIsIgnored) {
  auto c = std::make_unique<Control>();
  TkvPropList props(c.get());
  c.reset();
  QString v = "kept";
  EXPECT_FALSE(props.ReadProp("Text", v) || props.WriteProp("Text", "x"));
  EXPECT_EQ(v, "kept");
}

}  // namespace

#include "prop_list_test.moc"
