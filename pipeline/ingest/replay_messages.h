#pragma once
// The replay's messages, as the GBK (code page 936) bytes the ground station's
// consoles expect. The Chinese text of each stands beside it.

namespace replay_message {

// "缓冲区指针不能为空"
constexpr char kNoBuffer[] =
    "\xbb\xba\xb3\xe5\xc7\xf8\xd6\xb8\xd5\xeb\xb2\xbb\xc4\xdc\xce\xaa\xbf\xd5";
// "无法打开文件: "
constexpr char kCannotOpen[] = "\xce\xde\xb7\xa8\xb4\xf2\xbf\xaa\xce\xc4\xbc\xfe\x3a\x20";
// "内存分配失败"
constexpr char kOutOfMemory[] = "\xc4\xda\xb4\xe6\xb7\xd6\xc5\xe4\xca\xa7\xb0\xdc";
// "文件处理完成，共处理 " ... " 个包"
constexpr char kDoneBefore[] =
    "\xce\xc4\xbc\xfe\xb4\xa6\xc0\xed\xcd\xea\xb3\xc9\xa3\xac\xb9\xb2\xb4\xa6\xc0\xed\x20";
constexpr char kDoneAfter[] = "\x20\xb8\xf6\xb0\xfc";

}  // namespace replay_message
