#include "picture_station.h"

#include <optional>

#include "raw_peer.h"
#include "text/cp1251.h"

namespace pw::test {

namespace {

std::string LineWithEnd(platform::TcpConnection& c) {
  std::string line;
  char ch = 0;
  while (ch != '\n') line += ch = static_cast<char>(c.ReadByte());
  return line;
}

}  // namespace

PictureStation::PictureStation(platform::TcpListener& listener, Answer answer,
                               std::string password_reply)
    : answer_(std::move(answer)),
      thread_([this, &listener, reply = std::move(password_reply)] { Serve(listener, reply); }) {}

PictureStation::~PictureStation() { Join(); }

void PictureStation::Join() {
  if (thread_.joinable()) thread_.join();
}

std::string PictureStation::password_line() const {
  MutexLock lock(mu_);
  return password_line_;
}

std::vector<std::string> PictureStation::requests() const {
  MutexLock lock(mu_);
  return requests_;
}

void PictureStation::Serve(platform::TcpListener& listener, const std::string& password_reply) {
  std::optional<platform::TcpConnection> c = listener.Accept(kWaitMs);
  if (!c) return;
  connected_ = true;
  c->SetReadTimeout(kWaitMs);
  try {
    c->Write("OK\r\n" + std::string("АЗС 7"_w) + "\r\n");
    const std::string password = LineWithEnd(*c);
    {
      MutexLock lock(mu_);
      password_line_ = password;
    }
    RawWrite(*c, password_reply);
    if (password_reply != "OK") return;
    for (int index = 0;; ++index) {
      std::string request = LineWithEnd(*c);
      const int numbers = request == "GET_TVSHOT\r\n" ? 4 : request == "GET_SCREENSHOT\r\n" ? 1 : 0;
      for (int i = 0; i < numbers; ++i) request += LineWithEnd(*c);
      {
        MutexLock lock(mu_);
        requests_.push_back(request);
      }
      const std::string reply = answer_(index, request);
      if (reply.empty()) return;
      c->Write(reply);
    }
  } catch (const platform::ConnectionClosed&) {
    closed_by_office_ = true;
  } catch (const std::exception&) {
    // A read limit or a reset: the station gives up on this session.
  }
}

}  // namespace pw::test
