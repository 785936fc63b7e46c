#include "rip/TrackSpool.h"

#include <algorithm>
#include <cstring>

namespace rip {

bool SpoolBudget::Take(std::size_t bytes) {
    std::size_t used = used_.load();
    do {
        if (used + bytes > limit_) return false;
    } while (!used_.compare_exchange_weak(used, used + bytes));
    return true;
}

TrackSpool::TrackSpool(SpoolBudget& budget, std::string tempPath)
    : budget_(budget), tempPath_(std::move(tempPath)) {}

TrackSpool::~TrackSpool() {
    budget_.Give(blocks_.size() * kBlockBytes);
    if (file_) {
        std::fclose(file_);
        std::remove(tempPath_.c_str());
    }
}

bool TrackSpool::Append(const unsigned char* data, std::size_t bytes) {
    bytes_ += bytes;
    while (bytes > 0 && !file_) {
        if (lastFill_ == kBlockBytes) {
            if (!budget_.Take(kBlockBytes)) break;
            blocks_.push_back(std::make_unique<unsigned char[]>(kBlockBytes));
            lastFill_ = 0;
        }
        const std::size_t n = std::min(bytes, kBlockBytes - lastFill_);
        std::memcpy(blocks_.back().get() + lastFill_, data, n);
        lastFill_ += n;
        data += n;
        bytes -= n;
    }
    if (bytes == 0) return true;
    if (!file_) {
        file_ = std::fopen(tempPath_.c_str(), "w+b");
        if (!file_) {
            failed_ = true;
            return false;
        }
    }
    if (std::fwrite(data, 1, bytes, file_) != bytes) {
        failed_ = true;
        return false;
    }
    fileBytes_ += bytes;
    return true;
}

bool TrackSpool::EndAppending() {
    if (!file_) return !failed_;
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0) failed_ = true;
    return !failed_;
}

std::size_t TrackSpool::Read(unsigned char* out, std::size_t max) {
    std::size_t done = 0;
    while (done < max && !blocks_.empty()) {
        const std::size_t fill = blocks_.size() == 1 ? lastFill_ : kBlockBytes;
        const std::size_t n = std::min(max - done, fill - readInFirst_);
        std::memcpy(out + done, blocks_.front().get() + readInFirst_, n);
        done += n;
        readInFirst_ += n;
        if (readInFirst_ == fill) {
            blocks_.pop_front();
            budget_.Give(kBlockBytes);
            readInFirst_ = 0;
            if (blocks_.empty()) lastFill_ = kBlockBytes;
        }
    }
    if (done < max && file_ && !failed_ && fileRead_ < fileBytes_) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(max - done, fileBytes_ - fileRead_));
        const std::size_t n = std::fread(out + done, 1, want, file_);
        if (n < want) failed_ = true;
        fileRead_ += n;
        done += n;
    }
    return done;
}

}  // namespace rip
