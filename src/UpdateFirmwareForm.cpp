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

using cgicc::a;
using cgicc::b;
using cgicc::br;
using cgicc::form;
using cgicc::h2;
using cgicc::h3;
using cgicc::i;
using cgicc::input;
using cgicc::li;
using cgicc::p;
using cgicc::span;
using cgicc::table;
using cgicc::td;
using cgicc::tr;
using cgicc::ul;
using std::cout;
using std::endl;

namespace {

bool versionLoaded = false;

// A build date is one short line; anything beyond this is not read.
const std::size_t kMaxBuildDateLength = 4096;

// The static "(I)I" method of the configuration class called with the image,
// or false when it is missing or throws (logged).
bool CallIntMethod(JavaVmWrapper& wrapper, const char* name, int image, int& value) {
    jmethodID method = wrapper.FindStaticMethod(name, "(I)I");
    if (method == nullptr) {
        CGI_LOG(LevelError, "Methode '%s' not found", name);
        return false;
    }
    if (!wrapper.CallStaticIntMethod(method, value, image)) {
        CGI_LOG(LevelError, "Methode '%s' threw an exception", name);
        return false;
    }
    return true;
}

}  // namespace

void PrintDescription() {
    cout << cgicc::div().set("class", "description") << endl;
    cout << h2("Description") << endl;
    cout << ul() << endl;
    cout << li("If the update succeeds the flags will be reset automatically") << endl;
    cout << li() << "If the SYSTEM&nbsp;IMAGE"
         << " and the APPLICATION&nbsp;IMAGE must be updated together, "
         << span().set("class", "warn") << "it is prohibited to reboot the OVIX between them."
         << span() << li() << endl;
    cout << ul() << endl;
    cout << h3("Update Process") << endl;
    cout << ul() << endl;
    cout << li("disable all channels") << endl;
    cout << li() << "select the image file, the image type and click "
         << i(b("Send&nbsp;the&nbsp;file")) << li() << endl;
    cout << li()
         << "at next page the md5sum of the image file will be shown, if it is correct click "
         << i(b("Yes")) << li() << endl;
    cout << li() << "if not all updates are done click on " << i(b("Update&nbsp;Firmware")) << li()
         << endl;
    cout << li() << "if all updates are done click on " << i(b("reboot")) << li() << endl;
    cout << ul() << endl;
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
    if (!CallIntMethod(wrapper, "getFirmwareVersion", image, version)) return "";
    CGI_LOG(LevelDebug, "Version: %d", version);
    return FormatVersion(version);
}

std::string GetReleaseCandidate() {
    CGI_TRACE();
    PropertyManager* manager = Property::GetInstance()->GetPropertyManager("default");
    if (!versionLoaded) {
        (void)manager->LoadFile("/app/VERSION");
        versionLoaded = true;
    }
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
    if (!CallIntMethod(wrapper, "getUpdateState", image, state)) return "";
    std::string error = ConvertErrorToString(state);
    if (!error.empty()) return error;
    return ConvertUpdateStateJava(state);
}

#ifndef UPDATEFIRMWAREFORM_NO_MAIN
int main() {
    CGI_TRACE();
    OvixHtml frame("Update Firmware");

    cout << cgicc::div().set("class", "navi")
         << a().set("class", "small").set("href", "/index.html") << "Home" << a() << " / "
         << a().set("class", "small").set("href", "updatefirmwareform.cgi") << "UpdateFirmware"
         << a() << cgicc::div() << endl;
    cout << h2("Firmware") << endl;
    PrintDescription();

    JavaVmWrapper wrapper;
    if (!wrapper.OpenJavaVM()) return 1;

    cout << cgicc::div().set("class", "content") << endl;
    cout << table() << "\n";
    // Each query runs after its row's label has been written.
    cout << tr() << td() << "Current PACKAGE IMAGE version: " << td() << td();
    cout << GetVersion(wrapper, PackageImage) << td() << tr() << "\n";
    cout << tr() << td() << "Current SYSTEM IMAGE version: " << td() << td();
    cout << GetVersion(wrapper, SystemImage) << td() << tr() << "\n";
    cout << tr() << td() << "Current APPLICATION IMAGE version: " << td() << td();
    cout << GetVersion(wrapper, ApplicationImage) << td() << tr() << "\n";
    const std::string releaseCandidate = GetReleaseCandidate();
    if (!releaseCandidate.empty()) {
        cout << tr() << td() << "Preliminary version: " << td() << td();
        cout << releaseCandidate << td() << tr() << "\n";
        cout << tr() << td() << "Applicationimage created: " << td() << td();
        cout << GetCreatedAt() << td() << tr() << "\n";
    }
    cout << table() << endl;

    cout << form()
                .set("method", "post")
                .set("action", "updatefirmwarechecksum.cgi")
                .set("enctype", "multipart/form-data")
         << endl;
    cout << br() << endl;
    cout << h3("Last Update") << endl;
    cout << table() << "\n";
    cout << tr() << td() << "SYSTEM IMAGE:" << td() << td();
    cout << GetBootFlag(wrapper) << td() << td()
         << input()
                .set("type", "submit")
                .set("name", "resetbootflag")
                .set("value", "Reset Flag")
                .set("class", "mybutton")
         << td() << tr() << "\n";
    cout << tr() << td() << "APPLICATION IMAGE:" << td() << td();
    cout << GetAppFlag(wrapper) << td() << td()
         << input()
                .set("type", "submit")
                .set("name", "resetappflag")
                .set("value", "Reset Flag")
                .set("class", "mybutton")
         << td() << tr() << table() << "\n";
    cout << br() << "\n";
    cout << h3("Update Firmware") << endl;
    cout << p() << "Please select the file and press " << i(b("Send the file"))
         << " to update the firmware!" << p() << endl;
    cout << p()
         << "File: " << input().set("type", "file").set("name", "imagefile").set("size", "50")
         << p() << endl;
    cout << table() << "\n";
    cout << tr() << td() << "Image type: " << td() << td()
         << input()
                .set("type", "radio")
                .set("name", "imagetype")
                .set("value", "system")
                .set("checked", "checked")
         << " SYSTEM" << br() << "\n";
    cout << input().set("type", "radio").set("name", "imagetype").set("value", "application")
         << " APPLICATION" << td() << tr() << table() << "\n";
    cout << p() << input().set("type", "reset").set("value", "Reset").set("class", "mybutton")
         << " &nbsp;&nbsp;&nbsp;&nbsp;&nbsp;"
         << input()
                .set("type", "submit")
                .set("name", "submit")
                .set("value", "Send the file")
                .set("class", "mybutton")
         << p() << "\n";
    cout << form() << endl;
    cout << cgicc::div() << endl;
    return 0;
}
#endif
