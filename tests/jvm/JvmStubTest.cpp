// The libjvm.so stub that cross builds link against: a VM never starts.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <jni.h>

#include <filesystem>

namespace {

TEST(JvmStub, RefusesToCreateAVm) {
    JavaVMOption option{const_cast<char*>("-Djava.class.path=/app/java"), nullptr};
    JavaVMInitArgs args{JNI_VERSION_1_2, 1, &option, JNI_TRUE};
    JavaVM* vm = reinterpret_cast<JavaVM*>(&args);
    JNIEnv* env = reinterpret_cast<JNIEnv*>(&args);
    EXPECT_EQ(JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&env), &args), JNI_ERR);
    EXPECT_EQ(vm, nullptr);
    EXPECT_EQ(env, nullptr);
    EXPECT_EQ(JNI_CreateJavaVM(nullptr, nullptr, nullptr), JNI_ERR);
}

TEST(JvmStub, HasNoDefaultArgumentsAndNoVm) {
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_FALSE};
    EXPECT_EQ(JNI_GetDefaultJavaVMInitArgs(&args), JNI_ERR);
    JavaVM* vms[2] = {nullptr, nullptr};
    jsize count = -1;
    EXPECT_EQ(JNI_GetCreatedJavaVMs(vms, 2, &count), JNI_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(JNI_GetCreatedJavaVMs(nullptr, 0, nullptr), JNI_OK);
}

TEST(JvmStub, IsALibjvmExportingTheInvocationFunctionsByTheirCNames) {
    EXPECT_EQ(std::filesystem::path(OVIX_JVM_STUB_FILE).filename(), "libjvm.so");
    void* library = dlopen(OVIX_JVM_STUB_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name :
         {"JNI_CreateJavaVM", "JNI_GetDefaultJavaVMInitArgs", "JNI_GetCreatedJavaVMs"}) {
        EXPECT_NE(dlsym(library, name), nullptr) << name;
    }
    dlclose(library);
}

}  // namespace
