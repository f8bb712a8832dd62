#include "audio_file.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace morindale_render {
namespace {

constexpr sf_count_t kChunkFrames = 65536;
constexpr sf_count_t kChunkSamples = 2 * kChunkFrames;  // per read, over all channels
// Rates of real recordings. Everything is converted to 48 kHz, and the buffer
// for that is sized from the claimed rate: a file that claims 1 Hz would ask
// for 48000 samples per sample it holds.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 768000;
constexpr int kPartialAttempts = 100;

// libsndfile's float scale: full scale 1.0 is 32768. Rounded, saturated.
int16_t ToSample(float value) {
    const double scaled = static_cast<double>(value) * 32768.0;
    if (!(scaled == scaled)) return 0;
    if (scaled >= 32767.0) return 32767;
    if (scaled <= -32768.0) return -32768;
    return static_cast<int16_t>(std::lround(scaled));
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int FormatFor(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : Lower(path.substr(dot + 1));
    if (extension == "flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    if (extension == "aif" || extension == "aiff") return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

}  // namespace

bool ReadAsClientAudio(const std::string& path, std::vector<int16_t>* samples, std::string* error) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        *error = "cannot read " + path + ": no such file";
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        *error = "cannot read " + path + ": it is a folder";
        return false;
    }
    SF_INFO format = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &format);
    if (file == nullptr) {
        *error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (format.channels < 1 || format.samplerate < 1) {
        sf_close(file);
        *error = "cannot read " + path + ": no audio in it";
        return false;
    }
    if (format.samplerate < kLowestRate || format.samplerate > kHighestRate) {
        sf_close(file);
        *error = "cannot read " + path + ": its sample rate of " + std::to_string(format.samplerate) +
                 " Hz is outside 1 kHz to 768 kHz";
        return false;
    }
    samples->clear();
    if (format.samplerate == kRate && format.channels == 1) {
        // Already the client's format: samples as they are.
        std::vector<int16_t> chunk(kChunkFrames);
        sf_count_t got;
        while ((got = sf_readf_short(file, chunk.data(), kChunkFrames)) > 0)
            samples->insert(samples->end(), chunk.begin(), chunk.begin() + got);
    } else {
        std::vector<float> mono;
        // However many channels the file claims, one read holds kChunkSamples.
        const sf_count_t chunkFrames = std::max<sf_count_t>(1, kChunkSamples / format.channels);
        std::vector<float> chunk(static_cast<std::size_t>(chunkFrames) * format.channels);
        sf_count_t got;
        while ((got = sf_readf_float(file, chunk.data(), chunkFrames)) > 0) {
            for (sf_count_t f = 0; f < got; ++f) {
                float sum = 0.0f;
                for (int c = 0; c < format.channels; ++c) sum += chunk[static_cast<std::size_t>(f * format.channels + c)];
                mono.push_back(sum / static_cast<float>(format.channels));
            }
        }
        std::vector<float> converted;
        if (format.samplerate != kRate && !mono.empty()) {
            const double ratio = static_cast<double>(kRate) / format.samplerate;
            converted.resize(static_cast<std::size_t>(std::ceil(mono.size() * ratio)) + 16);
            SRC_DATA data = {};
            data.data_in = mono.data();
            data.input_frames = static_cast<long>(mono.size());
            data.data_out = converted.data();
            data.output_frames = static_cast<long>(converted.size());
            data.src_ratio = ratio;
            const int failed = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1);
            if (failed != 0) {
                sf_close(file);
                *error = "cannot convert " + path + " to 48 kHz: " + src_strerror(failed);
                return false;
            }
            converted.resize(static_cast<std::size_t>(data.output_frames_gen));
        } else {
            converted.swap(mono);
        }
        samples->reserve(converted.size());
        for (float v : converted) samples->push_back(ToSample(v));
    }
    const int readError = sf_error(file);
    sf_close(file);
    if (readError != SF_ERR_NO_ERROR) {
        *error = "cannot read " + path + ": " + sf_error_number(readError);
        return false;
    }
    return true;
}

namespace {

// Creates a new file next to path, under a name that nothing else uses:
// "<path>.partial", or "<path>.<pid>.<n>.partial" when that name is taken.
// Whatever already sits at a name (a file, a link to someone's file, a FIFO
// that would block the write) is left alone. The descriptor, or -1 with
// errno set.
int CreatePartial(const std::string& path, std::string* partial) {
    for (int attempt = 0; attempt < kPartialAttempts; ++attempt) {
        *partial = attempt == 0 ? path + ".partial"
                                : path + "." + std::to_string(::getpid()) + "." + std::to_string(attempt) + ".partial";
        const int fd = ::open(partial->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool WriteClientAudio(const std::string& path, const std::vector<int16_t>& samples, std::string* error) {
    std::string partial;
    const int fd = CreatePartial(path, &partial);
    if (fd < 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    SF_INFO format = {};
    format.samplerate = kRate;
    format.channels = 1;
    format.format = FormatFor(path);
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &format, SF_TRUE);
    if (file == nullptr) {
        ::close(fd);
        ::unlink(partial.c_str());
        *error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    const sf_count_t written = sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    const int closed = sf_close(file);
    if (written != static_cast<sf_count_t>(samples.size()) || closed != 0) {
        ::unlink(partial.c_str());
        *error = "cannot write " + path + ": the disk refused the samples";
        return false;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        ::unlink(partial.c_str());
        *error = "cannot write " + path + ": cannot put the file in place";
        return false;
    }
    return true;
}

}  // namespace morindale_render
