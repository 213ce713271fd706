#pragma once
// The workbook stand-in as the tests drive it: every member call recorded in Trace
// ("ScreenUpdating=0", "Range(A1:K1).Merge", ...), and FailAt making the first call whose name
// starts with it throw ExcelError, as a failing automation call would. Test support only.

#include <string>
#include <vector>

#include "export/ExcelApplication.h"

namespace folvane::test {

class TracingExcelApplication : public ExcelApplication {
public:
    std::vector<std::string> Trace;
    std::string FailAt;

    void Call(const std::string &member) override;
};

} // namespace folvane::test
