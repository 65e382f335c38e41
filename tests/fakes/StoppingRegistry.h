// A registry that a Stopper cuts off: every change goes through to the
// inner one until the stop, none after it.
#pragma once

#include <string>
#include <vector>

#include "platform/Registry.h"
#include "tests/fakes/Stopper.h"

namespace tx {

class StoppingRegistry : public IRegistry {
public:
    StoppingRegistry(IRegistry& inner, Stopper& stop) : in_(inner), stop_(stop) {}

    long OpenRoot(RegRoot r, RegHandle* o) override { return in_.OpenRoot(r, o); }
    long OpenKeyRead(RegHandle p, const char* s, RegHandle* o) override { return in_.OpenKeyRead(p, s, o); }
    long OpenKey(RegHandle p, const char* s, RegHandle* o) override { return in_.OpenKey(p, s, o); }
    long CreateKey(RegHandle p, const char* s, RegHandle* o) override {
        return Gone() ? kLost : in_.CreateKey(p, s, o);
    }
    long DeleteKey(RegHandle p, const char* s) override {
        return Gone() ? kLost : in_.DeleteKey(p, s);
    }
    long QuerySubkeyCount(RegHandle k, std::uint32_t* c) override { return in_.QuerySubkeyCount(k, c); }
    long EnumKey(RegHandle k, std::uint32_t i, char* n, std::uint32_t* c) override {
        return in_.EnumKey(k, i, n, c);
    }
    long QueryValue(RegHandle k, const char* n, std::uint32_t* t, unsigned char* d,
                    std::uint32_t* s) override {
        return in_.QueryValue(k, n, t, d, s);
    }
    long SetValue(RegHandle k, const char* n, std::uint32_t t, const unsigned char* d,
                  std::uint32_t s) override {
        return Gone() ? kLost : in_.SetValue(k, n, t, d, s);
    }
    long QueryValueWide(RegHandle k, const char* n, std::uint32_t* t, unsigned char* d,
                        std::uint32_t* s) override {
        return in_.QueryValueWide(k, n, t, d, s);
    }
    long SetValueWide(RegHandle k, const char* n, std::uint32_t t, const unsigned char* d,
                      std::uint32_t s) override {
        return Gone() ? kLost : in_.SetValueWide(k, n, t, d, s);
    }
    void CloseKey(RegHandle k) override { in_.CloseKey(k); }
    long DeleteValue(RegHandle k, const char* n) override {
        return Gone() ? kLost : in_.DeleteValue(k, n);
    }
    long QueryValueCount(RegHandle k, std::uint32_t* c) override { return in_.QueryValueCount(k, c); }
    long EnumValueWide(RegHandle k, std::uint32_t i, std::string* n, std::uint32_t* t,
                       std::vector<unsigned char>* d) override {
        return in_.EnumValueWide(k, i, n, t, d);
    }

private:
    static constexpr long kLost = static_cast<long>(kStoppedError);
    bool Gone() { return stop_.Due(); }
    IRegistry& in_;
    Stopper& stop_;
};

}  // namespace tx
