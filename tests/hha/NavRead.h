#pragma once
// A reader of the binary contents and keyword index, written from the file
// format description, so tests can check what the compiler wrote.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace hhatest {

// The internal files the binary navigation refers to.
struct HelpTables {
    std::string topics, urltbl, urlstr, strings;
    // Title and URL of topic t; fails the calling test for a bad reference.
    std::string Title(std::uint32_t t) const;
    std::string Url(std::uint32_t t) const;
    std::uint32_t TocEntry(std::uint32_t t) const;
    std::uint32_t UrlId(std::uint32_t t) const;
    std::string String(std::uint32_t offset) const;
};

// One decoded line: "depth|name|url" (url "" for entries without a page).
// Structural faults (bad links, entries across blocks, a wrong offset table
// or topic back reference) are reported as failures of the calling test.
std::vector<std::string> DecodeTocIdx(const std::string& tocidx, const HelpTables& tables);

// "depth|keyword|lastPart|url,url..." per keyword in stored order, or
// "depth|keyword|lastPart|see:text"; checks blocks, chains and index blocks.
std::vector<std::string> DecodeKeywordBTree(const std::string& btree, const HelpTables& tables);

// #SYSTEM records by code.
std::map<int, std::string> SystemRecords(const std::string& system);

std::uint32_t Dword(const std::string& s, std::size_t at);

}  // namespace hhatest
