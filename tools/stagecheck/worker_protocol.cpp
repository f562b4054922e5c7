// The message lines between a stagecheck worker and its parent.
#include "worker_protocol.h"

namespace {

HANDLE messagePipe = INVALID_HANDLE_VALUE;
void (*receiver)(const std::string &line);

}  // namespace

std::string EncodeMessage(const char *kind, const std::string &text) {
  std::string line = kind;
  if (!text.empty()) line += ' ';
  for (char c : text) {
    if (c == '\n')
      line += "\\n";
    else if (c == '\\')
      line += "\\\\";
    else
      line += c;
  }
  return line + '\n';
}

Message DecodeMessage(const std::string &line) {
  Message message;
  size_t space = line.find(' ');
  message.kind = line.substr(0, space);
  if (space == std::string::npos) return message;
  for (size_t i = space + 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      ++i;
      message.text += line[i] == 'n' ? '\n' : line[i];
    } else {
      message.text += line[i];
    }
  }
  return message;
}

void SendMessagesTo(HANDLE pipe) {
  messagePipe = pipe;
  receiver = nullptr;
}

void SendMessagesTo(void (*receive)(const std::string &line)) {
  messagePipe = INVALID_HANDLE_VALUE;
  receiver = receive;
}

HANDLE MessagePipe() { return messagePipe; }

void Send(const char *kind, const std::string &text) {
  std::string line = EncodeMessage(kind, text);
  if (receiver) {
    receiver(line.substr(0, line.size() - 1));
    return;
  }
  // Whole lines in one write: a pipe keeps a write of this size together,
  // so a worker that dies leaves no half line.
  DWORD written;
  WriteFile(messagePipe, line.data(), DWORD(line.size()), &written, nullptr);
}
