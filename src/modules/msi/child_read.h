// Reading a package in a child process. libmsi (and libgsf under it) trust
// the compound file and its tables: one changed byte in a package can have
// them dereference a null pointer while opening it or parsing a query over
// it. The engine runs inside the setup, as root; a package must not be able
// to end that process. So whatever reads a package with libmsi for the first
// time runs in a child, and the caller gets the child's result only when the
// child ran to its end: a child that crashed, was killed or left its result
// cut short read a package that is refused.
//
// A child that has not finished within its patience (10 s) is killed and
// tried once more (with a minute). fork copies the memory of every thread but
// runs only the caller, so a lock some other thread held at that moment (in an
// allocator or a library outside the libmsi lock) stays taken in the child for
// good; that is rare and does not repeat. A package that keeps libmsi busy in the second child
// too is refused, as one that crashes it.
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

// The patience of both children, 10 s and 60 s unless a test sets another.
void SetChildPatienceForTesting(int milliseconds);

// Runs `call` in a child first. The child is a copy of this process, the
// libmsi objects `call` works on included, in the same state; libmsi does
// the same on the same objects and the same file, so when the child came
// through (true), the caller may make the same call here.
bool SurvivesInChild(const std::function<void()>& call);

}  // namespace tonvik::msi
