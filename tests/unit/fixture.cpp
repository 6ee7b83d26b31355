#include "fixture.h"

#include "base/text.h"

namespace zuv::test {

bool RegistryFixture::CompareKey(const std::string& a, const std::string& b) const {
    return EqualsNoCase(codePage->ToUtf8(a), codePage->ToUtf8(b));
}

}  // namespace zuv::test
