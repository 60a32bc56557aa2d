#include "DeviceSupport.h"

std::string ToStdString(int value) {
    return std::to_string(value);
}

std::string ConvertErrorToString(int value) {
    switch (value) {
        case -1:
            return "Error: update flag not readable";
        case -2:
            return "Error: this image has no update flag";
        case -3:
            return "Error: update flag is not a number";
        default:
            return "";
    }
}

std::string ConvertUpdateStateJava(int value) {
    switch (value) {
        case 0:
            return "No update pending";
        case 1:
            return "Update in progress: do not reboot";
        case 2:
            return "Update done: reboot to start the new image";
        case 3:
            return "Update failed: send the image again";
        default:
            return "Unknown update state " + std::to_string(value);
    }
}
