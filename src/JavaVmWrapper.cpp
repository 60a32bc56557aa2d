#include "JavaVmWrapper.h"

#include <arpa/inet.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {
const char* const kConfigClass = "com/vantor/ovix/config/ConfigOvix";

using CreateJavaVmFunction = jint (*)(JavaVM**, void**, void*);

// JNI_CreateJavaVM of libjvm.so, found through the program's run path. The
// library is loaded when the page needs the VM, not when the program starts,
// so the page's head is on its way before the VM's large library is mapped
// and relocated. It stays loaded until the process ends.
CreateJavaVmFunction LoadCreateJavaVm() {
    void* library = dlopen("libjvm.so", RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) {
        CGI_LOG(LevelError, "%s", dlerror());
        return nullptr;
    }
    auto create = reinterpret_cast<CreateJavaVmFunction>(dlsym(library, "JNI_CreateJavaVM"));
    if (create == nullptr) CGI_LOG(LevelError, "%s", dlerror());
    return create;
}

// Failure records of the checked steps, written at the site of the step (or
// of the caller the step serves), so that each failure has a line of its own.
auto ClassNotFound(LogSite site, const char* name) {
    return [site, name] { CGI_LOG_AT(site, LevelError, "Class '%s' not found", name); };
}
auto MethodNotFound(LogSite site, const char* name) {
    return [site, name] { CGI_LOG_AT(site, LevelError, "Methode '%s' not found", name); };
}
void Threw(LogSite site, const char* name) {
    CGI_LOG_AT(site, LevelError, "Methode '%s' threw an exception", name);
}

}  // namespace

JavaVmWrapper::~JavaVmWrapper() {
    ReportException();
    if (vm != nullptr) vm->DestroyJavaVM();
}

bool JavaVmWrapper::ReportException() {
    if (env == nullptr || !env->ExceptionCheck()) return false;
    env->ExceptionDescribe();  // prints to System.err and clears it
    return true;
}

template <typename T, typename LogFailure>
T JavaVmWrapper::Checked(T result, LogFailure logFailure) {
    if (!ReportException() && result != nullptr) return result;
    logFailure();
    return nullptr;
}

bool JavaVmWrapper::OpenJavaVM() {
    CGI_LOG(LevelDebug, "OpenJavaVM");

    const char* options = std::getenv("JAVA_OPTIONS");
    CGI_LOG(LevelDebug, "JAVA_OPTIONS: %s", options != nullptr ? options : "(unset)");
    std::vector<std::string> texts;
    if (options != nullptr) texts.emplace_back(options);  // one option, unsplit

    const char* classPath = std::getenv("JAVA_CLASSPATH");
    texts.push_back(std::string("-Djava.class.path=") + (classPath != nullptr ? classPath : ""));
    CGI_LOG(LevelDebug, "JAVA_CLASSPATH:%s", classPath != nullptr ? classPath : "(unset)");

    {
        // The option array lives only until the VM has been created.
        std::vector<JavaVMOption> array(texts.size());
        for (size_t i = 0; i < texts.size(); ++i) array[i] = {&texts[i][0], nullptr};
        JavaVMInitArgs args{JNI_VERSION_1_2, static_cast<jint>(array.size()), array.data(),
                            JNI_TRUE};
        void* envOut = nullptr;
        CreateJavaVmFunction create = LoadCreateJavaVm();
        jint created = create != nullptr ? create(&vm, &envOut, &args) : JNI_ERR;
        if (created < 0) {
            CGI_LOG(LevelError, "Can't create Java VM");
            vm = nullptr;
            env = nullptr;
            return false;
        }
        env = static_cast<JNIEnv*>(envOut);
    }

    ChangeStdErr();

    configClass = Checked(env->FindClass(kConfigClass), ClassNotFound(CGI_SITE, kConfigClass));
    return configClass != nullptr;
}

std::pair<jclass, jmethodID> JavaVmWrapper::FindMethod(const char* className,
                                                       const char* methodName,
                                                       const char* signature, bool isStatic,
                                                       LogSite site) {
    // The records name the class with dots, as Java writes it.
    std::string dotted = className;
    std::replace(dotted.begin(), dotted.end(), '/', '.');
    jclass found = Checked(env->FindClass(className), ClassNotFound(site, dotted.c_str()));
    if (found == nullptr) return {nullptr, nullptr};
    jmethodID method = Checked(isStatic ? env->GetStaticMethodID(found, methodName, signature)
                                        : env->GetMethodID(found, methodName, signature),
                               MethodNotFound(site, methodName));
    return {found, method};
}

void JavaVmWrapper::ChangeStdErr() {
    CGI_TRACE();
    // The first step that fails is logged and ends the redirection.
    const auto [fileStreamClass, fileStreamInit] =
        FindMethod("java/io/FileOutputStream", "<init>", "(Ljava/lang/String;Z)V", false, CGI_SITE);
    if (fileStreamInit == nullptr) return;
    // Without the name there is no stream to make.
    jstring fileName = Checked(env->NewStringUTF(kCgiLogFile),
                               [] { CGI_LOG(LevelError, "Can't create output stream"); });
    if (fileName == nullptr) return;
    // Arguments go as jvalue arrays: their width and place do not depend on
    // the processor's calling convention for variadic functions.
    jvalue streamArguments[2];
    streamArguments[0].l = fileName;
    streamArguments[1].z = JNI_TRUE;  // append
    jobject fileStream = Checked(env->NewObjectA(fileStreamClass, fileStreamInit, streamArguments),
                                 [] { CGI_LOG(LevelError, "Can't create output stream"); });
    if (fileStream == nullptr) return;
    const auto [printStreamClass, printStreamInit] =
        FindMethod("java/io/PrintStream", "<init>", "(Ljava/io/OutputStream;)V", false, CGI_SITE);
    if (printStreamInit == nullptr) return;
    jvalue printArgument;
    printArgument.l = fileStream;
    jobject printStream =
        Checked(env->NewObjectA(printStreamClass, printStreamInit, &printArgument),
                [] { CGI_LOG(LevelError, "Can't create print stream"); });
    if (printStream == nullptr) return;
    const auto [systemClass, setErr] =
        FindMethod("java/lang/System", "setErr", "(Ljava/io/PrintStream;)V", true, CGI_SITE);
    if (setErr == nullptr) return;
    jvalue errArgument;
    errArgument.l = printStream;
    env->CallStaticVoidMethodA(systemClass, setErr, &errArgument);
    ReportException();
}

jmethodID JavaVmWrapper::ConfigMethod(const char* name, const char* signature, LogSite site) {
    // A missing method leaves a NoSuchMethodError, described before the record.
    return Checked(env->GetStaticMethodID(configClass, name, signature),
                   MethodNotFound(site, name));
}

bool JavaVmWrapper::CallIntMethod(const char* name, const char* signature, LogSite site,
                                  int& result, const jvalue* arguments) {
    jmethodID method = ConfigMethod(name, signature, site);
    if (method == nullptr) return false;
    const jint value = env->CallStaticIntMethodA(configClass, method, arguments);
    if (ReportException()) {
        Threw(site, name);
        return false;
    }
    result = value;
    return true;
}

bool JavaVmWrapper::CallFunction(const std::string& name, std::string& result) {
    CGI_LOG(LevelDebug, "%s %s", "CallFunction", name.c_str());
    jmethodID method = ConfigMethod(name.c_str(), "()Ljava/lang/String;", CGI_SITE);
    if (method == nullptr) return false;
    const jvalue none{};
    auto text = static_cast<jstring>(env->CallStaticObjectMethodA(configClass, method, &none));
    if (ReportException()) {
        Threw(CGI_SITE, name.c_str());
        return false;
    }
    if (text == nullptr) {
        CGI_LOG(LevelError, "Methode '%s' returned null", name.c_str());
        return false;
    }
    const char* chars = env->GetStringUTFChars(text, nullptr);
    if (ReportException() || chars == nullptr) {
        CGI_LOG(LevelError, "Methode '%s': text not readable", name.c_str());
        return false;
    }
    result = chars;
    env->ReleaseStringUTFChars(text, chars);
    return true;
}

bool JavaVmWrapper::CallFunction(const std::string& name, int& result) {
    CGI_LOG(LevelDebug, "%s %s", "CallFunction", name.c_str());
    const jvalue none{};
    return CallIntMethod(name.c_str(), "()I", CGI_SITE, result, &none);
}

bool JavaVmWrapper::CallFunctionWithArgument(const char* name, int argument, int& result,
                                             LogSite site) {
    jvalue value;
    value.i = static_cast<jint>(argument);
    return CallIntMethod(name, "(I)I", site, result, &value);
}

std::string JavaVmWrapper::GetLanIp4Address() {
    CGI_TRACE();
    std::string address;
    (void)CallFunction("getLanIp4AddressS", address);
    return address;
}

std::string JavaVmWrapper::GetWlanIp4Address() {
    CGI_TRACE();
    std::string address;
    (void)CallFunction("getWlanIp4AddressS", address);
    return address;
}

bool JavaVmWrapper::IsIp4Address(const std::string& text) {
    struct in_addr address;
    return inet_aton(text.c_str(), &address) != 0;
}
