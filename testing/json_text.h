// Test support: a JSON value written as text in a test; text that is not
// JSON fails the test. Header-only.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "foundation/json.h"

namespace tarn::test {

inline vx::json::Value Json(const std::string& text) {
  vx::json::Value value;
  EXPECT_TRUE(vx::json::Parse(text, value)) << text;
  return value;
}

}  // namespace tarn::test
