#include "JavaVmWrapper.h"

#include <arpa/inet.h>
#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "CgiLogHandler.h"

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

// Failure records of the checked steps below.
auto ClassNotFound(const char* name) {
    return [name] { CGI_LOG(LevelError, "Class '%s' not found", name); };
}
auto MethodNotFound(const char* name) {
    return [name] { CGI_LOG(LevelError, "Methode '%s' not found", name); };
}

}  // namespace

JavaVmWrapper::~JavaVmWrapper() {
    if (env != nullptr && env->ExceptionOccurred() != nullptr) env->ExceptionDescribe();
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
        std::unique_ptr<JavaVMOption[]> array(new JavaVMOption[texts.size()]);
        for (size_t i = 0; i < texts.size(); ++i) {
            array[i].optionString = &texts[i][0];
            array[i].extraInfo = nullptr;
        }
        JavaVMInitArgs args;
        args.version = JNI_VERSION_1_2;
        args.nOptions = static_cast<jint>(texts.size());
        args.options = array.get();
        args.ignoreUnrecognized = JNI_TRUE;
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

    configClass = Checked(env->FindClass(kConfigClass), ClassNotFound(kConfigClass));
    return configClass != nullptr;
}

void JavaVmWrapper::ChangeStdErr() {
    CGI_TRACE();
    // The first step that fails is logged and ends the redirection.
    jclass fileStreamClass = Checked(env->FindClass("java/io/FileOutputStream"),
                                     ClassNotFound("java.io.FileOutputStream"));
    if (fileStreamClass == nullptr) return;
    jmethodID fileStreamInit =
        Checked(env->GetMethodID(fileStreamClass, "<init>", "(Ljava/lang/String;Z)V"),
                MethodNotFound("<init>"));
    if (fileStreamInit == nullptr) return;
    const auto noOutputStream = [] { CGI_LOG(LevelError, "Can't create output stream"); };
    // Without the name there is no stream to make.
    jstring fileName = Checked(env->NewStringUTF(kCgiLogFile), noOutputStream);
    if (fileName == nullptr) return;
    jobject fileStream = Checked(
        env->NewObject(fileStreamClass, fileStreamInit, fileName, JNI_TRUE), noOutputStream);
    if (fileStream == nullptr) return;
    jclass printStreamClass =
        Checked(env->FindClass("java/io/PrintStream"), ClassNotFound("java.io.PrintStream"));
    if (printStreamClass == nullptr) return;
    jmethodID printStreamInit =
        Checked(env->GetMethodID(printStreamClass, "<init>", "(Ljava/io/OutputStream;)V"),
                MethodNotFound("<init>"));
    if (printStreamInit == nullptr) return;
    jobject printStream = Checked(env->NewObject(printStreamClass, printStreamInit, fileStream),
                                  [] { CGI_LOG(LevelError, "Can't create print stream"); });
    if (printStream == nullptr) return;
    jclass systemClass =
        Checked(env->FindClass("java/lang/System"), ClassNotFound("java.lang.System"));
    if (systemClass == nullptr) return;
    jmethodID setErr =
        Checked(env->GetStaticMethodID(systemClass, "setErr", "(Ljava/io/PrintStream;)V"),
                MethodNotFound("setErr"));
    if (setErr == nullptr) return;
    env->CallStaticVoidMethod(systemClass, setErr, printStream);
    ReportException();
}

jmethodID JavaVmWrapper::FindStaticMethod(const char* name, const char* signature) {
    jmethodID method = env->GetStaticMethodID(configClass, name, signature);
    return ReportException() ? nullptr : method;  // NoSuchMethodError of a missing method
}

bool JavaVmWrapper::CallFunction(const std::string& name, std::string& result) {
    CGI_LOG(LevelDebug, "%s %s", "CallFunction", name.c_str());
    jmethodID method = Checked(FindStaticMethod(name.c_str(), "()Ljava/lang/String;"),
                               MethodNotFound(name.c_str()));
    if (method == nullptr) return false;
    auto text = static_cast<jstring>(env->CallStaticObjectMethod(configClass, method));
    if (ReportException()) {
        CGI_LOG(LevelError, "Methode '%s' threw an exception", name.c_str());
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
    jmethodID method = Checked(FindStaticMethod(name.c_str(), "()I"), MethodNotFound(name.c_str()));
    if (method == nullptr) return false;
    if (!CallStaticIntMethod(method, result)) {
        CGI_LOG(LevelError, "Methode '%s' threw an exception", name.c_str());
        return false;
    }
    return true;
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
