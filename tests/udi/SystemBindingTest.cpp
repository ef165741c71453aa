#include <gtest/gtest.h>

#include <windows.h>

#include "support/StreamCapture.h"
#include "udi/internal.h"

using udi_test::StreamCapture;

namespace {

void fakeFunction() {}

class SystemBinding : public testing::Test {
protected:
    void TearDown() override { system_function_restore_all(); }
};

TEST_F(SystemBinding, FindsASystemFunctionByName)
{
    system_module cfgmgr;
    ASSERT_TRUE(system_module_open(&cfgmgr, "Cfgmgr32"));
    const system_function function = system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller");
    EXPECT_NE(function, nullptr);
    EXPECT_EQ(reinterpret_cast<void *>(function),
              reinterpret_cast<void *>(GetProcAddress(cfgmgr.handle, "CM_Get_Device_IDA")));
    system_module_close(&cfgmgr);
    system_module_close(&cfgmgr);
    EXPECT_EQ(cfgmgr.handle, nullptr);
}

TEST_F(SystemBinding, LogsAFunctionOrModuleThatIsMissing)
{
    system_module cfgmgr, missing;
    system_module_open(&cfgmgr, "Cfgmgr32");
    EXPECT_FALSE(system_module_open(&missing, "udi_no_such_module"));

    StreamCapture capture;
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_No_Such_Function", "udi_create_list"), nullptr);
    EXPECT_EQ(system_module_function(&missing, "SignerSignEx", "SelfSignFile"), nullptr);
    capture.finish();
    system_module_close(&cfgmgr);
    system_module_close(&missing);

    EXPECT_EQ(capture.err(),
              "libudi:error [udi_create_list] Unable to locate CM_No_Such_Function() in Cfgmgr32\n\n"
              "libudi:error [SelfSignFile] Unable to locate SignerSignEx() in udi_no_such_module\n\n");
}

TEST_F(SystemBinding, TestsCanReplaceOrHideAFunction)
{
    system_module cfgmgr;
    system_module_open(&cfgmgr, "Cfgmgr32");
    const system_function real = system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller");

    // Module names compare as Windows compares them: without case.
    system_function_replace("cfgmgr32", "CM_Get_Device_IDA", fakeFunction);
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller"), fakeFunction);
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_Get_Device_IDW", "caller"),
              reinterpret_cast<system_function>(GetProcAddress(cfgmgr.handle, "CM_Get_Device_IDW")));

    StreamCapture capture;
    system_function_hide("Cfgmgr32", "CM_Get_Device_IDA");
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller"), nullptr);
    capture.finish();
    EXPECT_NE(capture.err().find("Unable to locate CM_Get_Device_IDA() in Cfgmgr32"),
              std::string::npos);

    system_function_restore_all();
    EXPECT_EQ(system_module_function(&cfgmgr, "CM_Get_Device_IDA", "caller"), real);
    system_module_close(&cfgmgr);
}

}  // namespace
