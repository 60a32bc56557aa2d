#ifndef OVIX_JAVAVMWRAPPER_H
#define OVIX_JAVAVMWRAPPER_H

#include <jni.h>

#include <string>
#include <utility>

#include "CgiLogHandler.h"

// Owns the in-process Java VM of one request. The VM is made from the
// environment variables JAVA_OPTIONS (one single option) and JAVA_CLASSPATH,
// its System.err goes to the log file, and the device's configuration class
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
    // Makes the log file, opened for appending, the target of System.err.
    void ChangeStdErr();

    JNIEnv* GetJniEnv() const { return env; }
    jclass GetConfigClass() const { return configClass; }

    // Calls a static method of the configuration class without arguments,
    // "()Ljava/lang/String;" or "()I". True with the result stored; false,
    // with the result unchanged, when the method is missing, throws or
    // returns null (logged).
    [[nodiscard]] bool CallFunction(const std::string& name, std::string& result);
    [[nodiscard]] bool CallFunction(const std::string& name, int& result);
    // Calls the static "(I)I" method of that name with the argument. True
    // with the value stored; false, with the value unchanged, when the method
    // is missing or throws. Logs only that failure, at the caller's site.
    [[nodiscard]] bool CallFunctionWithArgument(const char* name, int argument, int& result,
                                                LogSite site);

    // The device's IPv4 address on the LAN and on the WLAN as the Java side
    // gives it, or the empty text.
    std::string GetLanIp4Address();
    std::string GetWlanIp4Address();

    // True when inet_aton accepts the text.
    static bool IsIp4Address(const std::string& text);

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

    // A class and its method, static or not, looked up in two checked steps
    // whose records name the site; the method is null when either is missing.
    std::pair<jclass, jmethodID> FindMethod(const char* className, const char* methodName,
                                            const char* signature, bool isStatic, LogSite site);
    // The static method of the configuration class with that name and
    // signature, or null (logged at the site).
    jmethodID ConfigMethod(const char* name, const char* signature, LogSite site);
    // Calls a static int method of the configuration class with the
    // arguments its signature names: true with the value stored; false when
    // it is missing or threw, logged at the site.
    bool CallIntMethod(const char* name, const char* signature, LogSite site, int& result,
                       const jvalue* arguments);

    JNIEnv* env = nullptr;
    JavaVM* vm = nullptr;
    jclass configClass = nullptr;
};

#endif
