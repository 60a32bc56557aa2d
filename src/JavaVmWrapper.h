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
    JavaVmWrapper() = default;
    // Describes a pending Java exception into the log, then destroys the VM.
    virtual ~JavaVmWrapper();
    JavaVmWrapper(const JavaVmWrapper&) = delete;
    JavaVmWrapper& operator=(const JavaVmWrapper&) = delete;

    // Creates the VM, redirects System.err and finds the configuration class.
    // False when the VM could not be made or the class is missing (logged).
    [[nodiscard]] bool OpenJavaVM();
    // Makes /tmp/cgi.log, opened for appending, the target of System.err.
    void ChangeStdErr();

    JNIEnv* GetJniEnv() const { return env; }
    jclass GetConfigClass() const { return configClass; }

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

    // The static method of the configuration class with that name and JNI
    // signature, or null when there is none. Logs nothing; the caller names
    // what is missing.
    [[nodiscard]] jmethodID FindStaticMethod(const char* name, const char* signature);
    // Calls a static int method of the configuration class with its jint
    // arguments. False, with the result unchanged, when it threw. Logs
    // nothing but the exception's description.
    template <typename... JintArguments>
    [[nodiscard]] bool CallStaticIntMethod(jmethodID method, int& result,
                                           JintArguments... arguments);

  private:
    // Describes and clears a pending Java exception; true when there was one.
    // Every JNI call that can throw is followed by this check, so the VM is
    // never called with an exception pending and every report reaches the log.
    bool ReportException();

    // One checked JNI step: the call's result, or null when the call left an
    // exception (described and cleared) or gave null; then logFailure()
    // writes the step's record.
    template <typename T, typename LogFailure>
    T Checked(T result, LogFailure logFailure);

    JNIEnv* env = nullptr;
    JavaVM* vm = nullptr;
    jclass configClass = nullptr;
};

template <typename... JintArguments>
bool JavaVmWrapper::CallStaticIntMethod(jmethodID method, int& result, JintArguments... arguments) {
    jint value = env->CallStaticIntMethod(configClass, method, static_cast<jint>(arguments)...);
    if (ReportException()) return false;
    result = value;
    return true;
}

#endif
