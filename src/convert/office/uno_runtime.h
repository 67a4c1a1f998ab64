#pragma once
// The client side of UNO in this process: the local component context and the
// conversions between Qt and UNO texts. Include only from the office layer.

#include <QString>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include <initializer_list>

namespace tabrix::office {

// The office's program folder (soffice.bin, types.rdb).
QString ProgramDir();

// Sets UNO_PATH and URE_BOOTSTRAP for the UNO runtime unless they are set,
// and ignores SIGPIPE unless a handler is set; later calls do nothing. See
// TkvPrepareOfficeEnvironment.
void PrepareEnvironment();

// The local UNO context, bootstrapped once on first use (thread-safe) and
// kept for the life of the process. Raises TkvError when the UNO runtime
// cannot be bootstrapped.
css::uno::Reference<css::uno::XComponentContext> LocalContext();

inline rtl::OUString ToOU(const QString& s) {
  return rtl::OUString(reinterpret_cast<const sal_Unicode*>(s.utf16()),
                       static_cast<sal_Int32>(s.size()));
}
inline QString ToQ(const rtl::OUString& s) {
  return QString(reinterpret_cast<const QChar*>(s.getStr()), s.getLength());
}

template <class T>
css::uno::Sequence<T> SequenceOf(std::initializer_list<T> items) {
  return css::uno::Sequence<T>(items.begin(), static_cast<sal_Int32>(items.size()));
}

// A media-descriptor or filter property ("Hidden", "FilterName", ...).
inline css::beans::PropertyValue Prop(const char* name, const css::uno::Any& value) {
  return css::beans::PropertyValue(rtl::OUString::createFromAscii(name), 0, value,
                                   css::beans::PropertyState_DIRECT_VALUE);
}

// A node of the configuration of the office behind `context`
// ("/org.openoffice.Setup/Product"): read-only, or with `update` an access
// whose changes are committed through XChangesBatch. Raises UNO exceptions.
css::uno::Reference<css::uno::XInterface> ConfigNode(
    const css::uno::Reference<css::uno::XComponentContext>& context, const char* nodePath,
    bool update = false);

// The readable part of a UNO exception's message, without the source-file
// positions LibreOffice appends ("at ./sfx2/...").
QString ExceptionText(const css::uno::Exception& e);

// Call only inside a catch block: true when the exception being handled is of
// the kind a broken connection raises (RuntimeException and its subclasses
// such as DisposedException); ordinary failures of a live office
// (IOException, IllegalArgumentException) are not.
bool MayBeConnectionFailureNow();

}  // namespace tabrix::office
