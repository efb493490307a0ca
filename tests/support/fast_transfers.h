// Short transfer bounds for the time of a test: a stall ends after a second, a small answer after four
// and a large one after six, and a broken large download is not tried again unless the test asks.
#pragma once

#include "platform/transfer.h"

class FastTransfers {
public:
    explicit FastTransfers(int largeRetries = 0) : m_saved(platform::GetTransferLimits()) {
        platform::TransferLimits limits = m_saved;
        limits.connectSeconds = 5;
        limits.stallSeconds = 1;
        limits.smallDeadlineSeconds = 4;
        limits.largeDeadlineSeconds = 6;
        limits.largeRetries = largeRetries;
        limits.retryDelayMs = 10;
        platform::SetTransferLimits(limits);
    }
    ~FastTransfers() { platform::SetTransferLimits(m_saved); }
    FastTransfers(const FastTransfers&) = delete;
    FastTransfers& operator=(const FastTransfers&) = delete;

private:
    platform::TransferLimits m_saved;
};
