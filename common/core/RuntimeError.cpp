#include "RuntimeError.h"

namespace sonavel {

QString StandardErrorDescription(std::int32_t number) {
    switch (number) {
        case err::kOverflow:
            return QStringLiteral("Overflow");
        case err::kTypeMismatch:
            return QStringLiteral("Type mismatch");
        case err::kBadFileName:
            return QStringLiteral("Bad file name or number");
        case err::kFileNotFound:
            return QStringLiteral("File not found");
        case err::kDiskFull:
            return QStringLiteral("Disk full");
        case err::kPathFileAccess:
            return QStringLiteral("Path/File access error");
        case err::kPathNotFound:
            return QStringLiteral("Path not found");
        case err::kPrinterError:
            return QStringLiteral("Printer error");
        case err::kDialogCancelled:
            return QStringLiteral("Cancel was selected.");
        case err::kFirstUserError:
            return QStringLiteral("Application-defined or object-defined error");
        default:
            return QStringLiteral("Application-defined or object-defined error");
    }
}

}  // namespace sonavel
