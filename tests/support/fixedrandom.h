#pragma once

#include "platform/system/random.h"

#include <atomic>

// Always draws the same number, so that a formula's result can be predicted.
class FixedRandom : public Random {
public:
    explicit FixedRandom(std::uint32_t value = 0) : m_value(value) {}
    std::uint32_t next() override { return m_value.load(); }
    void setValue(std::uint32_t value) { m_value = value; }

private:
    std::atomic<std::uint32_t> m_value;
};
