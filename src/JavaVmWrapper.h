#ifndef OVIX_JAVAVMWRAPPER_H
#define OVIX_JAVAVMWRAPPER_H

#include <jni.h>

#include <string>

// Owns the in-process Java VM of one request. The VM is made from the
// environment variables JAVA_OPTIONS (one single option) and JAVA_CLASSPATH,
// its System.err goes to /tmp/cgi.log, and the device's configuration class
// is looked up once. Every call must come from the thread that opened it.
class JavaVmWrapper {
  public:
    JavaVmWrapper();
    // Describes a pending Java exception into the log, then destroys the VM.
    virtual ~JavaVmWrapper();
    JavaVmWrapper(const JavaVmWrapper&) = delete;
    JavaVmWrapper& operator=(const JavaVmWrapper&) = delete;

    // Creates the VM, redirects System.err and finds the configuration class.
    // False when the VM could not be made or the class is missing (logged).
    [[nodiscard]] bool OpenJavaVM();
    // Makes /tmp/cgi.log, opened for appending, the target of System.err.
    void ChangeStdErr();

    JNIEnv* GetJniEnv() { return env; }
    jclass GetConfigClass() { return configClass; }

    // Calls a static method of the configuration class without arguments,
    // "()Ljava/lang/String;" or "()I". True with the result stored; false,
    // with the result unchanged, when the method is missing, throws or
    // returns null (logged).
    [[nodiscard]] bool CallFunction(const std::string& name, std::string& result);
    [[nodiscard]] bool CallFunction(const std::string& name, int& result);

    // The device's IPv4 address on the LAN and on the WLAN as the Java side
    // gives it, or the empty text.
    std::string GetLanIp4Address();
    std::string GetWlanIp4Address();

    // True when inet_aton accepts the text.
    static bool IsIp4Address(const std::string& text);

    // Describes and clears a pending Java exception; true when there was one.
    // Every JNI call that can throw is followed by this check, so the VM is
    // never called with an exception pending and every report reaches the log.
    bool ReportException();

  private:
    jmethodID FindStaticMethod(const std::string& name, const char* signature);

    JNIEnv* env;
    JavaVM* vm;
    jclass configClass = nullptr;
};

#endif
