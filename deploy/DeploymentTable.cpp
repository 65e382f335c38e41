#include "deploy/DeploymentTable.h"

#include "deploy/UserSettings.h"

namespace tx {

namespace {

const DeploymentRow kDeploymentTable[] = {
    {"SetUp.EXE", Destination::NotCopied, nullptr},
    {"Tarnix_EN.shx", Destination::NotCopied, nullptr},
    {"Tarnix_HZ.shx", Destination::NotCopied, nullptr},
    {"Tarnix.prt5", Destination::NotCopied, nullptr},
    {"Tarnix.prt7", Destination::InstallFolder, "itextsharp.dll"},
    {"Tarnix.prt8", Destination::InstallFolder, "PdfSharp.Charting.dll"},
    {"Tarnix.prt9", Destination::InstallFolder, "PdfSharp.dll"},
    {kSettingsFileName, Destination::SettingsFolder, nullptr},
};

const DeploymentRow kOtherFile = {nullptr, Destination::InstallFolder, nullptr};

}  // namespace

const char* const kFixedInstalledNames[4] = {"itextsharp.dll", "PdfSharp.Charting.dll",
                                             "PdfSharp.dll", "TX_BatchPlot2008.ARX"};

const DeploymentRow& LookUpDeployment(const CodePage& cp, const std::string& name) {
    for (const DeploymentRow& row : kDeploymentTable) {
        if (cp.EqualsNoCase(name, row.name)) return row;
    }
    return kOtherFile;
}

}  // namespace tx
