// The libjvm.so stub that cross builds link against: a VM never starts.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <jni.h>

#include <filesystem>

namespace {

// The stub's own functions, looked up in it: the test program also links the
// program's library, and with it the JDK's libjvm on this machine.
class JvmStub : public ::testing::Test {
  protected:
    void SetUp() override {
        library = dlopen(OVIX_JVM_STUB_FILE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        create = reinterpret_cast<decltype(create)>(dlsym(library, "JNI_CreateJavaVM"));
        defaults =
            reinterpret_cast<decltype(defaults)>(dlsym(library, "JNI_GetDefaultJavaVMInitArgs"));
        created = reinterpret_cast<decltype(created)>(dlsym(library, "JNI_GetCreatedJavaVMs"));
        ASSERT_TRUE(create && defaults && created);
    }
    void TearDown() override {
        if (library != nullptr) dlclose(library);
    }
    void* library = nullptr;
    jint (*create)(JavaVM**, void**, void*) = nullptr;
    jint (*defaults)(void*) = nullptr;
    jint (*created)(JavaVM**, jsize, jsize*) = nullptr;
};

TEST_F(JvmStub, RefusesToCreateAVm) {
    JavaVMOption option{const_cast<char*>("-Djava.class.path=/app/java"), nullptr};
    JavaVMInitArgs args{JNI_VERSION_1_2, 1, &option, JNI_TRUE};
    JavaVM* vm = reinterpret_cast<JavaVM*>(&args);
    JNIEnv* env = reinterpret_cast<JNIEnv*>(&args);
    EXPECT_EQ(create(&vm, reinterpret_cast<void**>(&env), &args), JNI_ERR);
    EXPECT_EQ(vm, nullptr);
    EXPECT_EQ(env, nullptr);
    EXPECT_EQ(create(nullptr, nullptr, nullptr), JNI_ERR);
}

TEST_F(JvmStub, HasNoDefaultArgumentsAndNoVm) {
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_FALSE};
    EXPECT_EQ(defaults(&args), JNI_ERR);
    JavaVM* vms[2] = {nullptr, nullptr};
    jsize count = -1;
    EXPECT_EQ(created(vms, 2, &count), JNI_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(created(nullptr, 0, nullptr), JNI_OK);
}

TEST(JvmStubLibrary, IsALibjvmExportingTheInvocationFunctionsByTheirCNames) {
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
