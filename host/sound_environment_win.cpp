// Windows: the sound output is the test run's (the Wine stage runs Wine
// without an audio driver); nothing to point elsewhere.
#include "sound_environment.h"

namespace morindale_host {

SoundEnvironment::SoundEnvironment(const std::string& /*workDir*/, const std::string& /*server*/) {}
SoundEnvironment::~SoundEnvironment() {}
void SoundEnvironment::set(const char* /*name*/, const std::string& /*value*/) {}

}  // namespace morindale_host
