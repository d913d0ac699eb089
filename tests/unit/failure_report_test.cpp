// The one debugger line a failure reports: what failed, where and why.
#include "common/failure_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "unit/debug_lines.h"

namespace tessaly {

namespace test {

std::vector<std::string>& DebugLines() {
    static std::vector<std::string> lines;
    return lines;
}

void RecordDebugLines() {
    DebugLines().clear();
    SetFailureLineWriter([](const char* line) { DebugLines().push_back(line); });
}

}  // namespace test

namespace {

struct ReportCase {
    std::function<void()> report;
    std::string line;
};

TEST(ReportFailure, WritesOneLineNamingWhatFailedWhereAndWhy) {
    const std::string longPath(1100, 'p');
    const ReportCase cases[] = {
        {[] { ReportFailure("download", "http://h/AppData/a.dat", "HTTP status", 404); },
         "Tessaly: download failed: http://h/AppData/a.dat: HTTP status 404\n"},
        {[] { ReportError("create file", "C:\\P\\Tessaly\\a.dat", 5); },
         "Tessaly: create file failed: C:\\P\\Tessaly\\a.dat: error 5\n"},
        {[] { ReportHresult("create link", "C:\\D\\x.lnk", static_cast<long>(0x80040154u)); },
         "Tessaly: create link failed: C:\\D\\x.lnk: HRESULT 0x80040154\n"},
        // Too long for the line: what failed is still said.
        {[&longPath] { ReportFailure("write file", longPath.c_str(), "path refused"); },
         "Tessaly: write file failed\n"},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.line);
        test::RecordDebugLines();
        c.report();
        EXPECT_EQ(test::DebugLines(), std::vector<std::string>{c.line});
    }
}

}  // namespace
}  // namespace tessaly
