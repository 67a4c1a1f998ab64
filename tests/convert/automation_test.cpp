// The automation layer without an office: values, the class registry, calls by
// name, profile slots and office addresses.

#include "convert/automation/class_registry.h"
#include "convert/office/office_classes.h"
#include "convert/office/office_profile.h"
#include "convert/office/office_url.h"
#include "support/scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSysInfo>

namespace {

// Records every call; answers "Echo" with its first argument.
class Recorder : public TkvAutoObject {
 public:
  struct Entry {
    QString member;
    TkvInvokeKind kind;
    TkvArgs args;
  };
  QList<Entry> calls;
  TkvVariant Invoke(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override {
    calls.append({member, kind, args});
    if (member.compare(QLatin1String("Echo"), Qt::CaseInsensitive) == 0) return args.value(0);
    if (member == QLatin1String("Fail"))
      throw TkvAutomationError(QStringLiteral("server says no"), member);
    ThrowUnknownMember(QStringLiteral("Recorder"), member);
  }
};

TEST(AutomationVariant, CoercesLikeAnAutomationServer) {
  EXPECT_EQ(TkvVariant(QStringLiteral(" 16.0 ")).ToDouble(), 16.0);
  EXPECT_EQ(TkvVariant(QStringLiteral("7.4")).ToInt(), 7);
  EXPECT_EQ(TkvVariant(2.5).ToInt(), 2);  // half to even
  EXPECT_EQ(TkvVariant(3.5).ToInt(), 4);
  EXPECT_EQ(TkvVariant(true).ToInt(), -1);
  EXPECT_TRUE(TkvVariant(std::int32_t{2}).ToBool());
  EXPECT_FALSE(TkvVariant(QStringLiteral("False")).ToBool());
  EXPECT_EQ(TkvVariant(std::int32_t{12}).ToText(), QStringLiteral("12"));
  EXPECT_EQ(TkvVariant(0.5).ToText(), QStringLiteral("0.5"));
  EXPECT_EQ(TkvVariant().ToText(), QString());
  EXPECT_TRUE(TkvVariant(TkvVariant::Omitted).IsMissing());
  EXPECT_FALSE(TkvVariant(std::int32_t{0}).IsMissing());
}

TEST(AutomationVariant, RejectsValuesThatDoNotConvert) {
  EXPECT_THROW(TkvVariant(QStringLiteral("16,0x")).ToDouble(), TkvAutomationError);
  EXPECT_THROW(TkvVariant(1e12).ToInt(), TkvAutomationError);
  EXPECT_THROW(TkvVariant(QStringLiteral("x")).ToObject(), TkvAutomationError);
  EXPECT_THROW(TkvVariant(TkvVariant::Omitted).ToText(), TkvAutomationError);
  EXPECT_THROW(TkvVariant(std::shared_ptr<TkvAutoObject>()).ToObject(),
               TkvAutomationError);  // null is empty
  try {
    TkvVariant(QStringLiteral("abc")).ToInt();
    FAIL();
  } catch (const TkvAutomationError& e) {
    EXPECT_TRUE(e.Message().contains(QStringLiteral("\"abc\""))) << e.what();
  }
}

TEST(AutomationRegistry, CreatesRegisteredClassesAndRestoresScopedOnes) {
  auto first = std::make_shared<Recorder>();
  auto second = std::make_shared<Recorder>();
  {
    TkvScopedClassRegistration outer(QStringLiteral("Test.Recorder"), [first] { return first; });
    EXPECT_EQ(TkvCreateObject(QStringLiteral("test.RECORDER")), first);  // letter case ignored
    {
      TkvScopedClassRegistration inner(QStringLiteral("Test.Recorder"),
                                       [second] { return second; });
      EXPECT_EQ(TkvCreateObject(QStringLiteral("Test.Recorder")), second);
    }
    EXPECT_EQ(TkvCreateObject(QStringLiteral("Test.Recorder")), first);
  }
  EXPECT_FALSE(TkvClassRegistry::Instance().IsRegistered(QStringLiteral("Test.Recorder")));
  try {
    TkvCreateObject(QStringLiteral("Test.Recorder"));
    FAIL();
  } catch (const TkvAutomationError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Class not registered: Test.Recorder"));
  }
}

TEST(AutomationRegistry, OfficeClassesAreRegisteredOnceAtStartUp) {
  TkvRegisterOfficeClasses();
  EXPECT_TRUE(TkvClassRegistry::Instance().IsRegistered(QStringLiteral("Excel.Application")));
  EXPECT_TRUE(
      TkvClassRegistry::Instance().IsRegistered(QStringLiteral("com.sun.star.ServiceManager")));
  // A later call leaves a test's own class in place.
  auto recorder = std::make_shared<Recorder>();
  TkvScopedClassRegistration reg(QStringLiteral("Excel.Application"),
                                 [recorder] { return recorder; });
  TkvRegisterOfficeClasses();
  EXPECT_EQ(TkvCreateObject(QStringLiteral("Excel.Application")), recorder);
}

TEST(AutomationRegistry, FactoryFailureReachesTheCaller) {
  TkvScopedClassRegistration reg(QStringLiteral("Test.Broken"),
                                 []() -> std::shared_ptr<TkvAutoObject> {
                                   throw TkvAutomationError(QStringLiteral("server did not start"));
                                 });
  try {
    TkvCreateObject(QStringLiteral("Test.Broken"));
    FAIL();
  } catch (const TkvAutomationError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("server did not start"));
  }
}

TEST(AutomationObject, ConveniencesPickTheInvokeKind) {
  Recorder r;
  EXPECT_EQ(r.Call(QStringLiteral("Echo"), {std::int32_t{5}, TkvVariant::Omitted}).ToInt(), 5);
  r.Get(QStringLiteral("Echo"));
  r.Get(QStringLiteral("Echo"), {std::int32_t{2}});
  r.Put(QStringLiteral("Echo"), false);
  ASSERT_EQ(r.calls.size(), 4);
  EXPECT_EQ(r.calls[0].kind, TkvInvokeKind::Method);
  EXPECT_TRUE(r.calls[0].args[1].IsOmitted());
  EXPECT_EQ(r.calls[1].kind, TkvInvokeKind::MethodOrGet);
  EXPECT_EQ(r.calls[2].kind, TkvInvokeKind::PropertyGet);
  EXPECT_EQ(r.calls[3].kind, TkvInvokeKind::PropertyPut);
  EXPECT_EQ(r.calls[3].args, TkvArgs{TkvVariant(false)});
  try {
    r.Call(QStringLiteral("Nope"));
    FAIL();
  } catch (const TkvAutomationError& e) {
    EXPECT_EQ(e.Member(), QStringLiteral("Nope"));
    EXPECT_TRUE(e.Message().contains(QStringLiteral("Nope")));
  }
}

TEST(OfficeProfileSlot, SlotsAreExclusiveAndReused) {
  tabrix::test::ScopedTempDir root;
  int firstSlot = 0;
  {
    TkvOfficeProfileSlot a(root.path());
    TkvOfficeProfileSlot b(root.path());
    firstSlot = a.Slot();
    EXPECT_EQ(a.Slot(), 1);
    EXPECT_EQ(b.Slot(), 2);
    EXPECT_EQ(b.Folder(), root.path() + QStringLiteral("/office-profile-2"));
    EXPECT_THROW(TkvOfficeProfileSlot(root.path(), 2), TkvError);  // both taken
  }
  TkvOfficeProfileSlot again(root.path());
  EXPECT_EQ(again.Slot(), firstSlot);
}

TEST(OfficeProfileSlot, RootIsLocalToTheHost) {
  using Slot = TkvOfficeProfileSlot;
  const QString cache = QStringLiteral("/home/u/.cache");
  // Nodes sharing a home folder get folders of their own.
  EXPECT_EQ(Slot::RootFor(QString(), cache, QStringLiteral("node1"), 1000),
            QStringLiteral("/home/u/.cache/tabrix/node1"));
  EXPECT_EQ(Slot::RootFor(QString(), cache, QStringLiteral("node2"), 1000),
            QStringLiteral("/home/u/.cache/tabrix/node2"));
  // $TMPDIR wins over the cache folder; users sharing it are kept apart.
  EXPECT_EQ(Slot::RootFor(QStringLiteral("/scratch/"), cache, QStringLiteral("node1"), 1000),
            QStringLiteral("/scratch/tabrix-1000/node1"));
  EXPECT_NE(Slot::RootFor(QStringLiteral("/tmp"), cache, QStringLiteral("n"), 1000),
            Slot::RootFor(QStringLiteral("/tmp"), cache, QStringLiteral("n"), 1001));
  for (const char* odd : {"", ".", "..", "a/b"})
    EXPECT_EQ(Slot::RootFor(QString(), cache, QString::fromLatin1(odd), 1),
              QStringLiteral("/home/u/.cache/tabrix/host"));

  const QByteArray oldTmp = qgetenv("TMPDIR");
  const bool hadTmp = qEnvironmentVariableIsSet("TMPDIR");
  qputenv("TMPDIR", "/scratch/job");
  const QString root = Slot::DefaultRoot();
  if (hadTmp)
    qputenv("TMPDIR", oldTmp);
  else
    qunsetenv("TMPDIR");
  EXPECT_TRUE(root.startsWith(QStringLiteral("/scratch/job/tabrix-"))) << root.toStdString();
  EXPECT_TRUE(root.endsWith(u'/' + QSysInfo::machineHostName())) << root.toStdString();
}

TEST(OfficeUrl, EscapesWhatFileAddressesCannotHoldAsIs) {
  EXPECT_EQ(TkvOfficeFileUrl(QStringLiteral("/tmp/a b/#1 100%.xlsx")),
            QStringLiteral("file:///tmp/a%20b/%231%20100%25.xlsx"));
  EXPECT_EQ(TkvOfficeFileUrl(QStringLiteral("/tmp/Über.xls")),
            QStringLiteral("file:///tmp/%C3%9Cber.xls"));
  EXPECT_EQ(TkvOfficeSourceUrl(QStringLiteral("http://127.0.0.1:8080/x y.xlsx")),
            QStringLiteral("http://127.0.0.1:8080/x y.xlsx"));
  EXPECT_EQ(TkvOfficeSourceUrl(QStringLiteral("file:///tmp/a%20b.xls")),
            QStringLiteral("file:///tmp/a%20b.xls"));
  EXPECT_EQ(TkvLocalPathOf(QStringLiteral("file:///tmp/a%23b.xls")),
            QStringLiteral("/tmp/a#b.xls"));
}

}  // namespace

#include "convert/office/office_timeout.h"

#include <thread>

namespace {

TEST(OfficeTimeout, ExpiresOnlyOnItsOwnThreadAndResetsWhenReleased) {
  {
    TkvOfficeTimeout guard(1);
    EXPECT_FALSE(guard.Expired());
    EXPECT_TRUE(TkvOfficeTimeout::ThreadTimeoutMessage().isEmpty());
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_TRUE(guard.Expired());
    EXPECT_EQ(TkvOfficeTimeout::ThreadTimeoutMessage(),
              QStringLiteral("The conversion timed out after 1 seconds"));
    QString other = QStringLiteral("unset");
    std::thread([&] { other = TkvOfficeTimeout::ThreadTimeoutMessage(); }).join();
    EXPECT_TRUE(other.isEmpty()) << "another converter thread is not affected";
  }
  EXPECT_TRUE(TkvOfficeTimeout::ThreadTimeoutMessage().isEmpty());
  // A guard released in time never fires, and its watchdog ends with it.
  const auto start = std::chrono::steady_clock::now();
  { TkvOfficeTimeout quick(60); }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(TkvOfficeTimeout::ThreadTimeoutMessage().isEmpty());
}

}  // namespace
