#pragma once

#include <iostream>
#include <sstream>
#include <string>

// Writes the lines of an edge listing to the process's standard output. Each line
// is formatted apart, with std::cout's number format, and written with one call, so
// that the listings of concurrent calls interleave only between whole lines.
class ListingWriter {
public:
    ListingWriter() { line_.copyfmt(std::cout); }
    ListingWriter(const ListingWriter&) = delete;
    ListingWriter& operator=(const ListingWriter&) = delete;
    ~ListingWriter() { std::cout.flush(); }

    template <class T>
    ListingWriter& operator<<(const T& value) {
        line_ << value;
        return *this;
    }
    // Ends the line and writes it.
    void endLine() {
        line_ << '\n';
        const std::string text = line_.str();
        std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
        line_.str(std::string());
    }

private:
    std::ostringstream line_;
};
