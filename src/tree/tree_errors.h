// The errors of the class tree's commands.
//
// ESilentAbort ends a command that found nothing to act on (no catalogued
// class for the selected node), skipping its later steps without a word.
// It derives from nothing, so that a handler showing std::exception texts
// cannot show it by mistake: the application's top-level handler catches
// it first and swallows it.
//
// ELocateError is a command error whose text the top-level handler shows:
// a class, an ancestor or a tree level that cannot be found while locating
// a class, or an inheritance chain that loops.
#pragma once

#include <stdexcept>
#include <string>

namespace quoldex::tree {

class ESilentAbort {};

class ELocateError : public std::runtime_error {
 public:
  explicit ELocateError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quoldex::tree
