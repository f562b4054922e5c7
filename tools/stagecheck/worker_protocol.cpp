// The message lines between a stagecheck worker and its parent.
#include "worker_protocol.h"

#include <stdlib.h>

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

std::string EncodeNames(const std::vector<std::string> &names) {
  std::string text;
  for (const std::string &name : names) {
    text += text.empty() ? "x" : ",x";  // so that "" is a name too
    for (unsigned char c : name) {
      text += "0123456789ABCDEF"[c >> 4];
      text += "0123456789ABCDEF"[c & 15];
    }
  }
  return text.empty() ? "-" : text;
}

std::vector<std::string> DecodeNames(const std::string &text) {
  std::vector<std::string> names;
  if (text == "-") return names;
  std::string name;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ',') {
      names.push_back(name);
      name.clear();
    } else if (text[i] != 'x' && i + 1 < text.size()) {
      const char pair[3] = {text[i], text[i + 1], 0};
      name += char(strtoul(pair, nullptr, 16));
      ++i;
    }
  }
  return names;
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
