#include "support/manualdispatch.h"

#include <limits>

void ManualDispatch::main(Block block) {
    std::lock_guard lock(m_mutex);
    m_main.push_back(std::move(block));
}

int ManualDispatch::drainMain() {
    return runMain(std::numeric_limits<int>::max());
}

int ManualDispatch::runMain(int count) {
    int ran = 0;
    while (ran < count) {
        Block block;
        {
            std::lock_guard lock(m_mutex);
            if (m_main.empty())
                return ran;
            block = std::move(m_main.front());
            m_main.pop_front();
        }
        block();
        ++ran;
    }
    return ran;
}

int ManualDispatch::pendingMain() const {
    std::lock_guard lock(m_mutex);
    return int(m_main.size());
}
