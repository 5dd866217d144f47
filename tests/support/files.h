// Whole files as bytes or text, for tests that check what the module wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> readBytes(const std::string& path); // empty when it cannot be read
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string readText(const std::string& path); // text mode: Windows line breaks read as '\n'
