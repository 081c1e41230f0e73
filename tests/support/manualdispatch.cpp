#include "manualdispatch.h"

void ManualDispatch::main(Block block) {
    std::lock_guard lock(m_mutex);
    m_main.push_back(std::move(block));
}

int ManualDispatch::drainMain() {
    int ran = 0;
    for (;;) {
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
}

int ManualDispatch::pendingMain() const {
    std::lock_guard lock(m_mutex);
    return int(m_main.size());
}
