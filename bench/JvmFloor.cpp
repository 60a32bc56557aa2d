// The Java side of one request without the program: create the Java VM with
// the options the page uses (JAVA_OPTIONS as one option, then the class path)
// and destroy it. With OVIX_FLOOR_CLASS set it also loads that class and
// makes the page's static calls on it (three firmware versions, two update
// states): the same Java work as a request, the reference of the page.
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
    int status = 0;
    if (const char* name = std::getenv("OVIX_FLOOR_CLASS")) {
        JNIEnv* jni = static_cast<JNIEnv*>(env);
        const struct {
            const char* method;
            jint image;
        } calls[] = {{"getFirmwareVersion", 204},
                     {"getFirmwareVersion", 200},
                     {"getFirmwareVersion", 201},
                     {"getUpdateState", 200},
                     {"getUpdateState", 201}};
        jclass type = jni->FindClass(name);
        for (const auto& call : calls) {
            jmethodID method =
                type != nullptr ? jni->GetStaticMethodID(type, call.method, "(I)I") : nullptr;
            jvalue image;
            image.i = call.image;
            if (method != nullptr) jni->CallStaticIntMethodA(type, method, &image);
            if (method == nullptr || jni->ExceptionCheck()) status = 1;
            jni->ExceptionClear();
        }
    }
    vm->DestroyJavaVM();
    return status;
}
