#ifndef OVIX_UPDATEFIRMWAREFORM_H
#define OVIX_UPDATEFIRMWAREFORM_H

#include <string>

class JavaVmWrapper;

// Image identifiers of the configuration class.
enum FirmwareImage { SystemImage = 200, ApplicationImage = 201, PackageImage = 204 };

// The fixed instructions of the page: notes on the flags and the update steps.
void PrintDescription();

// The version of an image as "DD.DD.DD", or the empty text (logged).
std::string GetVersion(JavaVmWrapper& wrapper, int image);
// The version integer as text: padded to six digits, a dot after the 2nd and 4th.
std::string FormatVersion(int version);
// PRELIMINARY_VERSION of /app/VERSION, or the empty text.
std::string GetReleaseCandidate();
// The first line of /app/BUILDDATE, or the empty text.
std::string GetCreatedAt();
// The update flag of the system image (200) or the application image (201)
// as text, or the empty text (logged).
std::string GetBootFlag(JavaVmWrapper& wrapper);
std::string GetAppFlag(JavaVmWrapper& wrapper);
std::string GetUpdateState(JavaVmWrapper& wrapper, int image);

#endif
