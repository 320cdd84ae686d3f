#pragma once
// Live tests run in a network namespace of their own, so that Art-Net they send on its
// loopback device never meets another test's traffic (ctest runs tests in parallel) nor any
// real network. Child processes started afterwards share the namespace.

#include <string>

namespace quorvex::test {

// Moves this process into a fresh network namespace with its loopback device up, once.
// Call it before any thread starts. Returns false with the reason when it cannot (not root).
bool IsolateNetwork(std::string* why = nullptr);

// Moves the calling thread into a fresh network namespace with its loopback device up.
bool EnterNewNetwork(std::string* why);

}  // namespace quorvex::test
