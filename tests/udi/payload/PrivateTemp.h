#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"
#include "udi/internal.h"

// TEMP of this process points at a folder of the test's own, and the
// library's version records start and end empty, so that no test sees
// another's temporary files or cached versions.
class PrivateTemp : public ::testing::Test
{
protected:
    void SetUp() override { std::memset (driver_version_cache, 0, sizeof (driver_version_cache)); }

    void TearDown() override
    {
        system_function_restore_all();
        std::memset (driver_version_cache, 0, sizeof (driver_version_cache));
    }

    udi_test::TempFolder temp;
    udi_test::ScopedEnvironment tempVariable { L"TEMP", temp.wide().c_str() };
};
