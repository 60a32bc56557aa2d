// A libjvm.so that has the Java VM invocation functions and no VM: every
// attempt to create one fails. Cross builds link the program against it
// where the device's own libjvm is not at hand; on the device the program
// runs against the device's libjvm.
#include <jni.h>

extern "C" {

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* /*args*/) {
    return JNI_ERR;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* /*args*/) {
    if (vm != nullptr) *vm = nullptr;
    if (env != nullptr) *env = nullptr;
    return JNI_ERR;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** /*vms*/, jsize /*bufferLength*/,
                                             jsize* count) {
    if (count != nullptr) *count = 0;
    return JNI_OK;
}

}  // extern "C"
