#pragma once

#include <QString>
#include <stdexcept>

namespace zpc::platform {

// The framework's failures. They are caught only where the design says so;
// everything else reaches the application's top-level handler.
class FrameworkException : public std::runtime_error {
public:
    explicit FrameworkException(const QString& message);
    QString message() const { return mMessage; }
    // The class name shown by the top-level handler ("OutOfBoundsException").
    virtual const char* kind() const { return "FrameworkException"; }
    // A stable number per kind, shown as the error dialog's code.
    virtual int errorNumber() const { return 1; }

private:
    QString mMessage;
};

#define ZPC_DECLARE_EXCEPTION(Name, Number)                                   \
    class Name : public FrameworkException {                                  \
    public:                                                                   \
        using FrameworkException::FrameworkException;                         \
        const char* kind() const override { return #Name; }                   \
        int errorNumber() const override { return Number; }                   \
    };

ZPC_DECLARE_EXCEPTION(NilObjectException, 2)
ZPC_DECLARE_EXCEPTION(OutOfBoundsException, 3)
ZPC_DECLARE_EXCEPTION(IllegalCastException, 4)
ZPC_DECLARE_EXCEPTION(XmlException, 5)
ZPC_DECLARE_EXCEPTION(UnsupportedFormatException, 6)
ZPC_DECLARE_EXCEPTION(ShellNotAvailableException, 7)
ZPC_DECLARE_EXCEPTION(ShellNotRunningException, 8)

#undef ZPC_DECLARE_EXCEPTION

// Dereference guard: the framework raises NilObjectException for a call on nil.
template <class P>
inline const P& requireNonNil(const P& p, const char* what) {
    if (!p) throw NilObjectException(QStringLiteral("Nil object: %1").arg(QLatin1String(what)));
    return p;
}

}  // namespace zpc::platform
