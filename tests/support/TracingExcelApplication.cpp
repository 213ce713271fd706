#include "support/TracingExcelApplication.h"

namespace folvane::test {

void TracingExcelApplication::Call(const std::string &member)
{
    Trace.push_back(member);
    if (!FailAt.empty() && member.compare(0, FailAt.size(), FailAt) == 0) {
        FailAt.clear();
        throw ExcelError("Automation call failed: " + member);
    }
}

} // namespace folvane::test
