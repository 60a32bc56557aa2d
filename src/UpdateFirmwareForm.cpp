// The "Update Firmware" page: the entry, the firmware status queries and the
// description section.
#include "UpdateFirmwareForm.h"

#include <cgicc/HTMLClasses.h>

#include <fstream>
#include <iostream>

#include "CgiLogHandler.h"
#include "DeviceSupport.h"
#include "JavaVmWrapper.h"
#include "OvixHtml.h"
#include "Property.h"

// Line ends: std::endl ends a line and flushes it, "\n" only ends it. Each
// flush is one write(2) to the web server, so the choice decides which lines
// leave the process together, and the sequence of writes is pinned by a test
// (tests/data/page/five_rows.writes). Keep each line end as it stands.
using std::cout;
using std::endl;

namespace {

// A build date is one short line; anything beyond this is not read.
const std::size_t kMaxBuildDateLength = 4096;

}  // namespace

void PrintDescription() {
    cout << cgicc::div().set("class", "description") << endl;
    cout << cgicc::h2("Description") << endl;
    cout << cgicc::ul() << endl;
    cout << cgicc::li("If the update succeeds the flags will be reset automatically") << endl;
    cout << cgicc::li() << "If the SYSTEM&nbsp;IMAGE"
         << " and the APPLICATION&nbsp;IMAGE must be updated together, "
         << cgicc::span().set("class", "warn")
         << "it is prohibited to reboot the OVIX between them." << cgicc::span() << cgicc::li()
         << endl;
    cout << cgicc::ul() << endl;
    cout << cgicc::h3("Update Process") << endl;
    cout << cgicc::ul() << endl;
    cout << cgicc::li("disable all channels") << endl;
    cout << cgicc::li() << "select the image file, the image type and click "
         << cgicc::i(cgicc::b("Send&nbsp;the&nbsp;file")) << cgicc::li() << endl;
    cout << cgicc::li()
         << "at next page the md5sum of the image file will be shown, if it is correct click "
         << cgicc::i(cgicc::b("Yes")) << cgicc::li() << endl;
    cout << cgicc::li() << "if not all updates are done click on "
         << cgicc::i(cgicc::b("Update&nbsp;Firmware")) << cgicc::li() << endl;
    cout << cgicc::li() << "if all updates are done click on " << cgicc::i(cgicc::b("reboot"))
         << cgicc::li() << endl;
    cout << cgicc::ul() << endl;
    cout << cgicc::div() << endl;
}

std::string FormatVersion(int version) {
    std::string text = ToStdString(version);
    while (text.length() <= 5) text.insert(0, "0");
    text.insert(4, ".");
    text.insert(2, ".");
    return text;
}

std::string GetVersion(JavaVmWrapper& wrapper, int image) {
    CGI_TRACE();
    int version = 0;
    if (!wrapper.CallFunctionWithArgument("getFirmwareVersion", image, version, CGI_SITE))
        return "";
    CGI_LOG(LevelDebug, "Version: %d", version);
    return FormatVersion(version);
}

std::string GetReleaseCandidate() {
    CGI_TRACE();
    PropertyManager* manager = Property::GetInstance()->GetPropertyManager("default");
    // The file is loaded on the first call in the process only.
    static const bool versionLoaded = (manager->LoadFile("/app/VERSION"), true);
    (void)versionLoaded;
    (void)manager->AddProperty("PROPERTY_TYPE_STRING", "PRELIMINARY_VERSION", "");
    return manager->GetValue("PRELIMINARY_VERSION");
}

std::string GetCreatedAt() {
    CGI_TRACE();
    std::ifstream file("/app/BUILDDATE");
    if (!file.is_open()) {
        CGI_LOG(LevelError, "Cann't open /app/BUILDDATE");
        return "";
    }
    std::string line;
    for (int c = file.get(); c != EOF && c != '\n' && line.size() < kMaxBuildDateLength;
         c = file.get()) {
        line.push_back(static_cast<char>(c));
    }
    return line;
}

std::string GetBootFlag(JavaVmWrapper& wrapper) {
    CGI_TRACE();
    return GetUpdateState(wrapper, SystemImage);
}

std::string GetAppFlag(JavaVmWrapper& wrapper) {
    CGI_TRACE();
    return GetUpdateState(wrapper, ApplicationImage);
}

std::string GetUpdateState(JavaVmWrapper& wrapper, int image) {
    int state = 0;
    if (!wrapper.CallFunctionWithArgument("getUpdateState", image, state, CGI_SITE)) return "";
    std::string error = ConvertErrorToString(state);
    if (!error.empty()) return error;
    return ConvertUpdateStateJava(state);
}

#ifndef OVIX_CGI_NO_MAIN
namespace {

// A table row opened with a label cell and a value cell. The label is written
// before the query that gives the value runs.
template <typename Query>
void PrintRowStart(const char* label, Query query) {
    cout << cgicc::tr() << cgicc::td() << label << cgicc::td() << cgicc::td();
    cout << query() << cgicc::td();
}

// A whole row of a label and a value, and a line end.
template <typename Query>
void PrintRow(const char* label, Query query) {
    PrintRowStart(label, query);
    cout << cgicc::tr() << "\n";
}

cgicc::input SubmitButton(const char* name, const char* value) {
    cgicc::input button;
    button.set("type", "submit").set("name", name).set("value", value).set("class", "mybutton");
    return button;
}

// An update flag's row with the button that resets it, without a line end.
template <typename Query>
void PrintFlagRow(const char* label, Query query, const char* buttonName) {
    PrintRowStart(label, query);
    cout << cgicc::td() << SubmitButton(buttonName, "Reset Flag") << cgicc::td() << cgicc::tr();
}

void PrintNavigation() {
    cout << cgicc::div().set("class", "navi")
         << cgicc::a().set("class", "small").set("href", "/index.html") << "Home" << cgicc::a()
         << " / " << cgicc::a().set("class", "small").set("href", "updatefirmwareform.cgi")
         << "UpdateFirmware" << cgicc::a() << cgicc::div() << endl;
}

void PrintVersions(JavaVmWrapper& wrapper) {
    cout << cgicc::table() << "\n";
    PrintRow("Current PACKAGE IMAGE version: ", [&] { return GetVersion(wrapper, PackageImage); });
    PrintRow("Current SYSTEM IMAGE version: ", [&] { return GetVersion(wrapper, SystemImage); });
    PrintRow("Current APPLICATION IMAGE version: ",
             [&] { return GetVersion(wrapper, ApplicationImage); });
    const std::string releaseCandidate = GetReleaseCandidate();
    if (!releaseCandidate.empty()) {
        PrintRow("Preliminary version: ", [&] { return releaseCandidate; });
        PrintRow("Applicationimage created: ", GetCreatedAt);
    }
    cout << cgicc::table() << endl;
}

void PrintFlags(JavaVmWrapper& wrapper) {
    cout << cgicc::br() << endl;
    cout << cgicc::h3("Last Update") << endl;
    cout << cgicc::table() << "\n";
    PrintFlagRow(
        "SYSTEM IMAGE:", [&] { return GetBootFlag(wrapper); }, "resetbootflag");
    cout << "\n";
    PrintFlagRow(
        "APPLICATION IMAGE:", [&] { return GetAppFlag(wrapper); }, "resetappflag");
    cout << cgicc::table() << "\n";
}

void PrintUpload() {
    cout << cgicc::br() << "\n";
    cout << cgicc::h3("Update Firmware") << endl;
    cout << cgicc::p() << "Please select the file and press " << cgicc::i(cgicc::b("Send the file"))
         << " to update the firmware!" << cgicc::p() << endl;
    cout << cgicc::p() << "File: "
         << cgicc::input().set("type", "file").set("name", "imagefile").set("size", "50")
         << cgicc::p() << endl;
    cout << cgicc::table() << "\n";
    cout << cgicc::tr() << cgicc::td() << "Image type: " << cgicc::td() << cgicc::td()
         << cgicc::input()
                .set("type", "radio")
                .set("name", "imagetype")
                .set("value", "system")
                .set("checked", "checked")
         << " SYSTEM" << cgicc::br() << "\n";
    cout << cgicc::input().set("type", "radio").set("name", "imagetype").set("value", "application")
         << " APPLICATION" << cgicc::td() << cgicc::tr() << cgicc::table() << "\n";
    cout << cgicc::p()
         << cgicc::input().set("type", "reset").set("value", "Reset").set("class", "mybutton")
         << " &nbsp;&nbsp;&nbsp;&nbsp;&nbsp;" << SubmitButton("submit", "Send the file")
         << cgicc::p() << "\n";
}

}  // namespace

int main() {
    CGI_TRACE();
    OvixHtml frame("Update Firmware");
    PrintNavigation();
    cout << cgicc::h2("Firmware") << endl;
    PrintDescription();

    JavaVmWrapper wrapper;
    if (!wrapper.OpenJavaVM()) return 1;

    cout << cgicc::div().set("class", "content") << endl;
    PrintVersions(wrapper);
    cout << cgicc::form()
                .set("method", "post")
                .set("action", "updatefirmwarechecksum.cgi")
                .set("enctype", "multipart/form-data")
         << endl;
    PrintFlags(wrapper);
    PrintUpload();
    cout << cgicc::form() << endl;
    cout << cgicc::div() << endl;
    return 0;
}
#endif
