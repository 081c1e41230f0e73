#pragma once

#include <cstdint>

// Uniform unsigned 32-bit numbers, the platform's arc4random. Replaceable so
// that a test can hand the capacity formula a chosen r.
class Random {
public:
    virtual ~Random() = default;

    virtual std::uint32_t next();

    static Random& shared();
    // Not owned; pass nullptr to go back to the system generator.
    static void setShared(Random* random);
};
