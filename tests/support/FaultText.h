#pragma once
// A file fault, or a save, as the user would read it: for checking the wording, and so that a
// failing test prints the sentence instead of an enum.

#include <ostream>
#include <string>

#include "sheet/Workbook.h"
#include "store/FileMessages.h"

namespace testsupport {

inline std::string Message(const sheet::FileFault& fault) {
    return zalvik::store::FileFaultMessage(fault).toStdString();
}

inline std::string Message(const sheet::SaveResult& saved) {
    return zalvik::store::SaveMessage(saved).toStdString();
}

}  // namespace testsupport

namespace sheet {

inline std::ostream& operator<<(std::ostream& out, const FileFault& fault) {
    return out << testsupport::Message(fault);
}

inline std::ostream& operator<<(std::ostream& out, const SaveResult& saved) {
    return out << testsupport::Message(saved);
}

}  // namespace sheet
