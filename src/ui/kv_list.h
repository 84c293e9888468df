// TkvList: a growable list of pointers that does not own what they point to.
#pragma once

#include <vector>

template <typename T>
class TkvList {
public:
    static constexpr int kInitialCapacity = 20;

    TkvList() { Reset(); }

    // Empties the list and gives it room for kInitialCapacity entries.
    void Reset() {
        std::vector<T*>().swap(items_);
        items_.reserve(kInitialCapacity);
    }
    // Appends p, doubling the room when it is full; the new entry's position.
    int Add(T* p) {
        if (items_.size() == items_.capacity()) items_.reserve(items_.capacity() * 2);
        items_.push_back(p);
        return Count() - 1;
    }
    // The entry at i, or null when i is out of range.
    T* Get(int i) const { return i < 0 || i >= Count() ? nullptr : items_[i]; }
    int Count() const { return static_cast<int>(items_.size()); }
    int Capacity() const { return static_cast<int>(items_.capacity()); }

private:
    std::vector<T*> items_;
};
