#include "convert/office/uno_object.h"

#include "convert/office/office_process.h"
#include "convert/office/uno_runtime.h"

#include <com/sun/star/beans/XExactName.hpp>
#include <com/sun/star/beans/XMaterialHolder.hpp>
#include <com/sun/star/lang/XSingleServiceFactory.hpp>
#include <com/sun/star/reflection/InvocationTargetException.hpp>
#include <com/sun/star/reflection/theCoreReflection.hpp>
#include <com/sun/star/script/Converter.hpp>
#include <com/sun/star/script/XInvocation.hpp>

using namespace css;
using rtl::OUString;
using tabrix::office::ToOU;
using tabrix::office::ToQ;

struct TkvUnoObject::Impl {
  uno::Any value;
  uno::Reference<script::XInvocation> invocation;
  uno::Reference<beans::XExactName> exactName;
};

TkvUnoObject::TkvUnoObject(std::shared_ptr<TkvOfficeProcess> process, const uno::Any& value)
    : process_(std::move(process)), impl_(std::make_unique<Impl>()) {
  impl_->value = value;
  auto local = tabrix::office::LocalContext();
  uno::Reference<lang::XSingleServiceFactory> factory(
      local->getServiceManager()->createInstanceWithContext("com.sun.star.script.Invocation",
                                                            local),
      uno::UNO_QUERY_THROW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored \
    "-Wdeprecated-declarations"  // the Invocation service's own interface
  impl_->invocation.set(
      factory->createInstanceWithArguments(tabrix::office::SequenceOf<uno::Any>({impl_->value})),
      uno::UNO_QUERY_THROW);
#pragma GCC diagnostic pop
  impl_->exactName.set(impl_->invocation, uno::UNO_QUERY);
}

TkvUnoObject::~TkvUnoObject() = default;

uno::Any TkvUnoObject::Value() const {
  uno::Reference<beans::XMaterialHolder> holder(impl_->invocation, uno::UNO_QUERY);
  if (impl_->value.getValueTypeClass() == uno::TypeClass_STRUCT && holder.is())
    return holder->getMaterial();
  return impl_->value;
}

TkvVariant TkvUnoObject::FromUno(const uno::Any& value) const {
  switch (value.getValueTypeClass()) {
    case uno::TypeClass_VOID:
      return {};
    case uno::TypeClass_BOOLEAN:
      return TkvVariant(*static_cast<const sal_Bool*>(value.getValue()) != 0);
    case uno::TypeClass_BYTE:
    case uno::TypeClass_SHORT:
    case uno::TypeClass_UNSIGNED_SHORT:
    case uno::TypeClass_LONG: {
      sal_Int32 n = 0;
      value >>= n;
      return TkvVariant(static_cast<std::int32_t>(n));
    }
    case uno::TypeClass_ENUM:
      return TkvVariant(
          static_cast<std::int32_t>(*static_cast<const sal_Int32*>(value.getValue())));
    case uno::TypeClass_UNSIGNED_LONG:
    case uno::TypeClass_HYPER:
    case uno::TypeClass_UNSIGNED_HYPER:
    case uno::TypeClass_FLOAT:
    case uno::TypeClass_DOUBLE: {
      double d = 0;
      if (!(value >>= d)) {
        sal_Int64 n = 0;
        value >>= n;
        d = static_cast<double>(n);
      }
      return TkvVariant(d);
    }
    case uno::TypeClass_CHAR:
    case uno::TypeClass_STRING: {
      OUString s;
      if (value.getValueTypeClass() == uno::TypeClass_CHAR)
        s = OUString(*static_cast<const sal_Unicode*>(value.getValue()));
      else
        value >>= s;
      return TkvVariant(ToQ(s));
    }
    case uno::TypeClass_INTERFACE: {
      uno::Reference<uno::XInterface> ref;
      value >>= ref;
      if (!ref.is()) return {};
      return TkvVariant(
          std::shared_ptr<TkvAutoObject>(std::make_shared<TkvUnoObject>(process_, value)));
    }
    case uno::TypeClass_STRUCT:
    case uno::TypeClass_EXCEPTION:
      return TkvVariant(
          std::shared_ptr<TkvAutoObject>(std::make_shared<TkvUnoObject>(process_, value)));
    case uno::TypeClass_SEQUENCE: {
      auto converter = script::Converter::create(tabrix::office::LocalContext());
      uno::Sequence<uno::Any> items;
      converter->convertTo(value, cppu::UnoType<uno::Sequence<uno::Any>>::get()) >>= items;
      QList<TkvVariant> list;
      for (const uno::Any& item : std::as_const(items)) list.append(FromUno(item));
      return TkvVariant(list);
    }
    default:
      throw TkvAutomationError(QStringLiteral("An office value of type %1 cannot be used here")
                                   .arg(ToQ(value.getValueTypeName())));
  }
}

uno::Any TkvUnoObject::ToUno(const TkvVariant& value) const {
  switch (value.GetType()) {
    case TkvVariant::Type::Empty:
    case TkvVariant::Type::Omitted:
      return {};
    case TkvVariant::Type::Boolean:
      return uno::Any(value.ToBool());
    case TkvVariant::Type::Integer:
      return uno::Any(static_cast<sal_Int32>(value.ToInt()));
    case TkvVariant::Type::Double:
      return uno::Any(value.ToDouble());
    case TkvVariant::Type::Text:
      return uno::Any(ToOU(value.ToText()));
    case TkvVariant::Type::Object: {
      auto* uno = dynamic_cast<TkvUnoObject*>(value.ToObject().get());
      if (!uno)
        throw TkvAutomationError(QStringLiteral("Only office objects can be passed to the office"));
      return uno->Value();
    }
    case TkvVariant::Type::Array: {
      uno::Sequence<uno::Any> items(static_cast<sal_Int32>(value.ToArray().size()));
      auto* out = items.getArray();
      for (const TkvVariant& v : value.ToArray()) *out++ = ToUno(v);
      return uno::Any(items);
    }
  }
  return {};
}

TkvVariant TkvUnoObject::Invoke(const QString& member, TkvInvokeKind kind, const TkvArgs& args) {
  try {
    OUString name = ToOU(member);
    if (impl_->exactName.is()) {
      const OUString exact = impl_->exactName->getExactName(name);
      if (!exact.isEmpty()) name = exact;
    }
    auto& inv = impl_->invocation;
    if (kind == TkvInvokeKind::PropertyPut) {
      if (args.isEmpty()) ThrowBadArguments(member, QStringLiteral("no value to assign"));
      uno::Any value = ToUno(args.last());
      // These load properties are 16-bit; automation clients pass 32-bit integers.
      if (name == "Value" &&
          impl_->value.getValueTypeName() == "com.sun.star.beans.PropertyValue" &&
          value.getValueTypeClass() == uno::TypeClass_LONG) {
        OUString property;
        inv->getValue("Name") >>= property;
        sal_Int32 n = 0;
        value >>= n;
        if ((property == "MacroExecutionMode" || property == "UpdateDocMode") && n >= -32768 &&
            n <= 32767)
          value <<= static_cast<sal_Int16>(n);
      }
      inv->setValue(name, value);
      return {};
    }
    if (inv->hasMethod(name)) {
      uno::Sequence<uno::Any> in(static_cast<sal_Int32>(args.size()));
      for (int i = 0; i < args.size(); ++i) in.getArray()[i] = ToUno(args[i]);
      uno::Sequence<sal_Int16> outIndex;
      uno::Sequence<uno::Any> out;
      // A document whose close failed counts as closed all the same: it goes
      // with the process, which must still restart after its quota.
      struct CloseCount {
        TkvOfficeProcess* process;
        ~CloseCount() {
          if (process) process->DocumentClosed();
        }
      } closeCount{name == "close" || name == "dispose" ? process_.get() : nullptr};
      const uno::Any result = inv->invoke(name, in, outIndex, out);
      if (name == "loadComponentFromURL" && result.hasValue()) process_->DocumentOpened();
      return FromUno(result);
    }
    if (inv->hasProperty(name) && args.isEmpty()) return FromUno(inv->getValue(name));
    ThrowUnknownMember(ToQ(impl_->value.getValueTypeName()), member);
  } catch (const reflection::InvocationTargetException& e) {
    uno::Exception inner;
    const QString text = (e.TargetException >>= inner) ? tabrix::office::ExceptionText(inner)
                                                       : tabrix::office::ExceptionText(e);
    throw TkvAutomationError(
        process_->FailureMessage(QStringLiteral("%1: %2").arg(member, text), false), member);
  } catch (const uno::Exception& e) {
    throw TkvAutomationError(process_->FailureMessage(QStringLiteral("%1: %2").arg(
                                                          member, tabrix::office::ExceptionText(e)),
                                                      tabrix::office::MayBeConnectionFailureNow()),
                             member);
  }
}

namespace {

class OfficeServiceManager final : public TkvUnoObject {
 public:
  explicit OfficeServiceManager(const std::shared_ptr<TkvOfficeProcess>& process)
      : TkvUnoObject(process, uno::Any(process->ServiceManager())) {}

  TkvVariant Invoke(const QString& member, TkvInvokeKind kind, const TkvArgs& args) override {
    if (member.compare(QLatin1String("Bridge_GetStruct"), Qt::CaseInsensitive) != 0)
      return TkvUnoObject::Invoke(member, kind, args);
    if (args.isEmpty()) ThrowBadArguments(member, QStringLiteral("a struct type name is needed"));
    const QString typeName = args[0].ToText();
    try {
      auto type = reflection::theCoreReflection::get(tabrix::office::LocalContext())
                      ->forName(ToOU(typeName));
      if (!type.is())
        throw TkvAutomationError(QStringLiteral("Unknown office struct type %1").arg(typeName),
                                 member);
      uno::Any value;
      type->createObject(value);
      if (value.getValueTypeClass() != uno::TypeClass_STRUCT)
        throw TkvAutomationError(QStringLiteral("%1 is not an office struct type").arg(typeName),
                                 member);
      return TkvVariant(
          std::shared_ptr<TkvAutoObject>(std::make_shared<TkvUnoObject>(SharedProcess(), value)));
    } catch (const uno::Exception& e) {
      throw TkvAutomationError(
          QStringLiteral("%1: %2").arg(member, tabrix::office::ExceptionText(e)), member);
    }
  }
};

}  // namespace

std::shared_ptr<TkvAutoObject> TkvCreateOfficeServiceManager() {
  auto process = TkvOfficeProcess::ForThisThread();
  try {
    return std::make_shared<OfficeServiceManager>(process);
  } catch (const TkvAutomationError&) {
    throw;
  } catch (const TkvError& e) {
    throw TkvAutomationError(e.Message());
  } catch (const uno::Exception& e) {
    throw TkvAutomationError(process->FailureMessage(tabrix::office::ExceptionText(e)));
  }
}
