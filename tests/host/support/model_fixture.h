// Every host test starts from a fresh model world: a new sandbox, no records, no fault plan.
#pragma once

#include <gtest/gtest.h>

#include "winapi/model/steering.h"

class ModelTest : public testing::Test {
protected:
    void SetUp() override { winmodel::Reset(); }
    void TearDown() override { winmodel::Reset(); }
};
