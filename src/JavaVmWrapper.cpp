#include "JavaVmWrapper.h"

#include <arpa/inet.h>
#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "CgiLogHandler.h"

namespace {
const char* const kConfigClass = "com/vantor/ovix/config/ConfigOvix";
const char* const kLogFile = "/tmp/cgi.log";

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

}  // namespace

JavaVmWrapper::JavaVmWrapper() : env(nullptr), vm(nullptr) {}

JavaVmWrapper::~JavaVmWrapper() {
    if (env != nullptr && env->ExceptionOccurred() != nullptr) env->ExceptionDescribe();
    if (vm != nullptr) vm->DestroyJavaVM();
}

bool JavaVmWrapper::ReportException() {
    if (env == nullptr || !env->ExceptionCheck()) return false;
    env->ExceptionDescribe();  // prints to System.err and clears it
    return true;
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

    configClass = env->FindClass(kConfigClass);
    ReportException();
    if (configClass == nullptr) {
        CGI_LOG(LevelError, "Class '%s' not found", kConfigClass);
        return false;
    }
    return true;
}

void JavaVmWrapper::ChangeStdErr() {
    CGI_TRACE();

    jclass fileStreamClass = env->FindClass("java/io/FileOutputStream");
    if (ReportException() || fileStreamClass == nullptr) {
        CGI_LOG(LevelError, "Class '%s' not found", "java.io.FileOutputStream");
        return;
    }
    jmethodID fileStreamInit =
        env->GetMethodID(fileStreamClass, "<init>", "(Ljava/lang/String;Z)V");
    if (ReportException() || fileStreamInit == nullptr) {
        CGI_LOG(LevelError, "Methode '%s' not found", "<init>");
        return;
    }
    jstring fileName = env->NewStringUTF(kLogFile);
    if (ReportException() || fileName == nullptr) {
        // Without the name there is no stream to make.
        CGI_LOG(LevelError, "Can't create output stream");
        return;
    }
    jobject fileStream = env->NewObject(fileStreamClass, fileStreamInit, fileName, JNI_TRUE);
    if (ReportException() || fileStream == nullptr) {
        CGI_LOG(LevelError, "Can't create output stream");
        return;
    }
    jclass printStreamClass = env->FindClass("java/io/PrintStream");
    if (ReportException() || printStreamClass == nullptr) {
        CGI_LOG(LevelError, "Class '%s' not found", "java.io.PrintStream");
        return;
    }
    jmethodID printStreamInit =
        env->GetMethodID(printStreamClass, "<init>", "(Ljava/io/OutputStream;)V");
    if (ReportException() || printStreamInit == nullptr) {
        CGI_LOG(LevelError, "Methode '%s' not found", "<init>");
        return;
    }
    jobject printStream = env->NewObject(printStreamClass, printStreamInit, fileStream);
    if (ReportException() || printStream == nullptr) {
        CGI_LOG(LevelError, "Can't create print stream");
        return;
    }
    jclass systemClass = env->FindClass("java/lang/System");
    if (ReportException() || systemClass == nullptr) {
        CGI_LOG(LevelError, "Class '%s' not found", "java.lang.System");
        return;
    }
    jmethodID setErr = env->GetStaticMethodID(systemClass, "setErr", "(Ljava/io/PrintStream;)V");
    if (ReportException() || setErr == nullptr) {
        CGI_LOG(LevelError, "Methode '%s' not found", "setErr");
        return;
    }
    env->CallStaticVoidMethod(systemClass, setErr, printStream);
    ReportException();
}

jmethodID JavaVmWrapper::FindStaticMethod(const std::string& name, const char* signature) {
    jmethodID method = env->GetStaticMethodID(configClass, name.c_str(), signature);
    ReportException();  // NoSuchMethodError of a missing method
    if (method == nullptr) CGI_LOG(LevelError, "Methode '%s' not found", name.c_str());
    return method;
}

bool JavaVmWrapper::CallFunction(const std::string& name, std::string& result) {
    CGI_LOG(LevelDebug, "%s %s", "CallFunction", name.c_str());
    jmethodID method = FindStaticMethod(name, "()Ljava/lang/String;");
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
    jmethodID method = FindStaticMethod(name, "()I");
    if (method == nullptr) return false;

    jint value = env->CallStaticIntMethod(configClass, method);
    if (ReportException()) {
        CGI_LOG(LevelError, "Methode '%s' threw an exception", name.c_str());
        return false;
    }
    result = value;
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
