// Reading a package in a child process. libmsi (and libgsf under it) trust
// the compound file and its tables: one changed byte in a package can have
// them dereference a null pointer while opening it or parsing a query over
// it. The engine runs inside the setup, as root; a package must not be able
// to end that process. So whatever reads a package with libmsi for the first
// time runs in a child, and the caller gets the child's result only when the
// child ran to its end: a child that crashed, was killed or left its result
// cut short read a package that is refused.
#pragma once
#include <functional>
#include <optional>
#include <string>

namespace tonvik::msi {

// Runs `read` in a child process forked from this one and returns the bytes
// it returned; nullopt when the child did not finish (or could not start).
// `read` may use libmsi and the rest of the engine's reading parts, nothing
// that needs another thread; its exceptions count as not finishing.
std::optional<std::string> ReadInChild(const std::function<std::string()>& read);

}  // namespace tonvik::msi
