// ovix::jvm, the VM that programs link: the JDK's natively; under emulation
// always the stub, even where the program is linked against the device's.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <jni.h>

#include <filesystem>

namespace {

std::string LoadedFrom(void* symbol) {
    Dl_info info{};
    if (dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) return "";
    return std::filesystem::weakly_canonical(info.dli_fname).string();
}

TEST(JvmLink, InvocationFunctionsComeFromALibjvm) {
    const std::string file = LoadedFrom(reinterpret_cast<void*>(&JNI_CreateJavaVM));
    EXPECT_EQ(std::filesystem::path(file).filename(), "libjvm.so") << file;
    EXPECT_EQ(LoadedFrom(reinterpret_cast<void*>(&JNI_GetCreatedJavaVMs)), file);
    jsize count = -1;
    JavaVM* vm = nullptr;
    EXPECT_EQ(JNI_GetCreatedJavaVMs(&vm, 1, &count), JNI_OK);
    EXPECT_EQ(count, 0);
}

#ifdef OVIX_JVM_IS_STUB
TEST(JvmLink, UnderEmulationTheStubIsLoaded) {
    EXPECT_EQ(LoadedFrom(reinterpret_cast<void*>(&JNI_CreateJavaVM)),
              std::filesystem::weakly_canonical(OVIX_JVM_STUB_FILE).string());
    JavaVM* vm = nullptr;
    void* env = nullptr;
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_FALSE};
    EXPECT_EQ(JNI_CreateJavaVM(&vm, &env, &args), JNI_ERR);
}
#else
TEST(JvmLink, NativelyTheJdkVmIsLoaded) {
    EXPECT_NE(LoadedFrom(reinterpret_cast<void*>(&JNI_CreateJavaVM)),
              std::filesystem::weakly_canonical(OVIX_JVM_STUB_FILE).string());
}
#endif

}  // namespace
