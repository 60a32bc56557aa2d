// The floor of one request: create the Java VM with the options the page
// uses (JAVA_OPTIONS as one option, then the class path) and destroy it.
// With OVIX_FLOOR_CLASS set, it also loads that class: the share of the
// configuration class itself in a request.
#include <jni.h>

#include <cstdlib>
#include <string>
#include <vector>

int main() {
    std::vector<std::string> texts;
    if (const char* options = std::getenv("JAVA_OPTIONS")) texts.emplace_back(options);
    const char* classPath = std::getenv("JAVA_CLASSPATH");
    texts.push_back(std::string("-Djava.class.path=") + (classPath != nullptr ? classPath : ""));
    std::vector<JavaVMOption> options(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) options[i] = {&texts[i][0], nullptr};
    JavaVMInitArgs args{JNI_VERSION_1_2, static_cast<jint>(options.size()), options.data(),
                        JNI_TRUE};
    JavaVM* vm = nullptr;
    void* env = nullptr;
    if (JNI_CreateJavaVM(&vm, &env, &args) < 0) return 1;
    if (const char* name = std::getenv("OVIX_FLOOR_CLASS")) {
        JNIEnv* jni = static_cast<JNIEnv*>(env);
        if (jni->FindClass(name) == nullptr) jni->ExceptionClear();
    }
    vm->DestroyJavaVM();
    return 0;
}
