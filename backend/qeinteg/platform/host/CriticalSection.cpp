#include "qeinteg/platform/host/CriticalSection.h"

void CriticalSection::Enter() {
    mutex_.lock();
}

void CriticalSection::Leave() {
    mutex_.unlock();
}

bool CriticalSection::TryEnter() {
    return mutex_.try_lock();
}
