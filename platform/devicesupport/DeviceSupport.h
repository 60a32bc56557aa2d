// Stand-in of the device's in-house device support library: numbers and
// states as text for the web pages.
//
// Update states and error codes are numbered as the configuration class
// com.vantor.ovix.config.ConfigOvix gives them:
//    0  "No update pending"
//    1  "Update in progress: do not reboot"
//    2  "Update done: reboot to start the new image"
//    3  "Update failed: send the image again"
//   -1  "Error: update flag not readable"
//   -2  "Error: this image has no update flag"
//   -3  "Error: update flag is not a number"
// Any other value is shown with its number: "Unknown update state 7".
#ifndef OVIX_PLATFORM_DEVICESUPPORT_H
#define OVIX_PLATFORM_DEVICESUPPORT_H

#include <string>

// The decimal text of the value.
std::string ToStdString(int value);
// The message of an error code; the empty text for any other value.
std::string ConvertErrorToString(int value);
// The text of an update state; never empty.
std::string ConvertUpdateStateJava(int value);

#endif
