#include "base/runtime_error.h"

#include "base/text.h"

namespace zuv {

std::string StandardDescription(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::InvalidArgument: return "无效的过程调用或参数";
    case ErrorKind::Overflow: return "溢出";
    case ErrorKind::OutOfMemory: return "内存不足";
    case ErrorKind::TypeMismatch: return "类型不匹配";
    case ErrorKind::Unrepresentable: return "文本含有当前代码页无法表示的字符";
    case ErrorKind::Unexpected: break;
    }
    return "意外错误";
}

RuntimeError::RuntimeError(ErrorKind kind)
    : std::runtime_error(StandardDescription(kind)) {}

RuntimeError UnrepresentableText(std::string_view text, unsigned codePage) {
    const auto describe = [&](std::string_view quoted) {
        return "文本“" + std::string(quoted) + "”含有代码页 " + std::to_string(codePage) +
               " 无法表示的字符";
    };
    return RuntimeError(ErrorKind::Unrepresentable, describe(text),
                        describe(ShortenLevels(text, kShortNameLength)));
}

}  // namespace zuv
