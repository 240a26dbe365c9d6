#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "yuv/LumoYuvReader.h"

// The ordered list of opened raw files, stored under KEY_YUV_PARSE_1 as a
// compact JSON array of {"width","height","type_str","path"} objects.
class YUVParseCache {
public:
    YUVParseCache() = default;
    YUVParseCache(const YUVParseCache&) = delete;
    YUVParseCache& operator=(const YUVParseCache&) = delete;

    // Appends a copy of the reader.
    void Add(const lumo::LumoYuvReader& reader);
    // Erases the record at `index`; an index outside the list does nothing.
    void Remove(int index);
    int Size() const { return static_cast<int>(readers_.size()); }
    const std::vector<std::unique_ptr<lumo::LumoYuvReader>>& Readers() const { return readers_; }

    // Writes the whole list to the settings store.
    void Save() const;

    // Add and Remove, each applied to the stored list as it stands at that
    // moment (read again, changed, written, under a lock file beside the
    // settings file) instead of overwriting it with this list: several
    // running instances keep each other's files. The stored list then holds
    // this list's records in the same order, with the other instances'
    // records around them.
    void AddAndStore(const lumo::LumoYuvReader& reader);
    void RemoveAndStore(int index);
    // Replaces the list by the stored one; records whose file is gone are
    // dropped.
    void Load();

    // The stored text for the current list.
    QString ToJson() const;
    // Replaces the list by the records of `json`. Anything that is not a
    // JSON array gives an empty list.
    void FromJson(const QString& json);

private:
    // Reads the stored list, lets `change` edit it, writes it back.
    static void ChangeStored(const std::function<void(YUVParseCache&)>& change);

    std::vector<std::unique_ptr<lumo::LumoYuvReader>> readers_;
};
