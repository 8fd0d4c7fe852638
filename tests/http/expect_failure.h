#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <typeinfo>

namespace cloakwise::http::testing {

// Runs f and returns the failure of the kind expected; any other outcome
// fails the test.
template <class Kind>
Kind Expect(const std::function<void()>& f) {
  try {
    f();
  } catch (const Kind& e) {
    return e;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "wrong failure: " << typeid(e).name() << ": " << e.what();
    throw;
  }
  ADD_FAILURE() << "no failure";
  throw std::logic_error("no failure");
}

}  // namespace cloakwise::http::testing
