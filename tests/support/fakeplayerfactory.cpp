#include "support/fakeplayerfactory.h"

#include <QFileInfo>

FakePlayerFactory::FakePlayerFactory()
    : m_installed([this](const QString& path) -> std::shared_ptr<AudioPlayer> {
          if (!QFileInfo(path).isFile()) {
              m_refused.append(path);
              return nullptr;
          }
          auto player = std::make_shared<FakeAudioPlayer>(path);
          player->setFinishesOnPlay(m_finishesOnPlay);
          m_players.push_back(player);
          return player;
      }) {}

std::shared_ptr<FakeAudioPlayer> FakePlayerFactory::last() const {
    return m_players.empty() ? nullptr : m_players.back();
}

void FakePlayerFactory::clear() {
    m_players.clear();
    m_refused.clear();
    m_finishesOnPlay = false;
}
