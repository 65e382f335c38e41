#include "host/DetectionLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fakes/MemoryLog.h"

namespace tx {
namespace {

TEST(DetectionLog, OneLinePerInstallationInReleaseOrder) {
    CAcadInfo info;
    const int r2019 = ReleaseIndexOfYear(2019);
    const int r2010 = ReleaseIndexOfYear(2010);
    info.m_arrProductKey[r2019] = {"SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:804\\",
                                   "SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\ACAD-2002:804\\"};
    info.m_arrAcadLocation[r2019] = {"C:\\Program Files\\AutoCAD 2019", "D:\\Map 2019"};
    info.m_arrProductKey[r2010] = {"SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\"};
    info.m_arrAcadLocation[r2010] = {"C:\\Program Files\\AutoCAD 2010"};
    MemoryLog log;
    LogDetection(log, info);

    const std::vector<std::string> want = {
        "detected AutoCAD 2010 key HKLM\\SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\ -> "
        "C:\\Program Files\\AutoCAD 2010",
        "detected AutoCAD 2019 key HKLM\\SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:804\\ -> "
        "C:\\Program Files\\AutoCAD 2019",
        "detected AutoCAD 2019 key HKLM\\SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\ACAD-2002:804\\ -> "
        "D:\\Map 2019",
    };
    EXPECT_EQ(want, log.Lines());

    MemoryLog empty;
    LogDetection(empty, CAcadInfo{});
    EXPECT_EQ(std::vector<std::string>{"detected no AutoCAD installation"}, empty.Lines());
}

}  // namespace
}  // namespace tx
