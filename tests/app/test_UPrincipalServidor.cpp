// The window against the private Firebird server, which the CTest fixture
// "fbserver" starts before and stops after: the connection lost in the
// middle of a run (the server killed, the attachment ended by an
// administrator, a server that stalls past the configured limit), and the
// next press in the same window.

#include "app/UPrincipal.h"

#include "tests/app/AppTestSupport.h"
#include "tests/support/CatalogueDb.h"
#include "tests/support/LostConnection.h"
#include "app/Gauge.h"
#include "app/ImageButton.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using dztest::TCaixa;
using dztest::TCaixasGravadas;
using dztest::TTempDir;
using dztest::TTestDatabase;
using ::testing::ElementsAre;

const QString Sucesso = QString::fromUtf8("Atualização realizada com sucesso.");

using dztest::FbServer;
using dztest::TRestartServer;

// Runs an action once, as the overall bar is redrawn showing a given
// progress: in the middle of the run, between two rows.
class TNoPasso : public QObject {
public:
  TNoPasso(TGauge* gauge, int progresso, std::function<void()> acao)
      : gauge_(gauge), progresso_(progresso), acao_(std::move(acao)) {
    gauge->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && gauge_->Progress() == progresso_ && acao_) {
      std::exchange(acao_, nullptr)();
    }
    return false;
  }

private:
  TGauge* gauge_;
  int progresso_;
  std::function<void()> acao_;
};

void Click(TImageButton* button) { QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center()); }

class UPrincipalServidor : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    audio_ = new TTempDir;
    for (const auto& [nome, segundos] : {std::pair{"dois.wav", 2}, std::pair{"tres.wav", 3}}) {
      const std::string command = "sox -n -r 8000 -c 1 -b 16 " + dztest::ShellQuote(audio_->File(nome)) + " synth " +
                                  std::to_string(segundos) + " sine 440";
      ASSERT_EQ(dztest::RunCommand(command), 0) << command;
    }
  }
  static void TearDownTestSuite() {
    delete audio_;
    audio_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(FbServer("start"), 0); }  // already running: does nothing

  // Four music rows and one jingle, of files of 2 and 3 seconds.
  static std::string Catalogo() {
    std::string sql = dztest::InserePasta(1, audio_->Path().string() + "/");
    for (const auto& [codigo, arquivo] : {std::pair{40, "tres.wav"}, std::pair{30, "dois.wav"},
                                          std::pair{20, "tres.wav"}, std::pair{10, "dois.wav"}}) {
      sql += dztest::InsereMusica(codigo, "00:00", 1, arquivo);
    }
    return sql + dztest::InsereVinheta(1, "00:00", audio_->File("tres.wav"));
  }
  static std::vector<std::string> Linhas(const std::string& banco) {
    std::vector<std::string> linhas =
        dztest::Linhas(banco, "SELECT 'M', MUS_CODIGO, MUS_SEGUNDOS, MUS_TEMPO FROM TB_MUSICAS ORDER BY MUS_CODIGO");
    for (auto& linha : dztest::Linhas(banco, "SELECT 'V', VIN_CODIGO, VIN_SEGUNDOS, VIN_TEMPO FROM TB_VINHETAS")) {
      linhas.push_back(linha);
    }
    return linhas;
  }

  static TTempDir* audio_;
};

TTempDir* UPrincipalServidor::audio_ = nullptr;

// The connection is lost as the third row begins: the press ends with the
// client's error, the two rows before are committed whole and nothing else
// is written. Once the cause is gone, the next press in the same window
// attaches again, selects what still lacks a length and does it.
TEST_F(UPrincipalServidor, ConnectionLostDuringARun) {
  struct TCase {
    const char* what;
    std::function<void(const std::string& banco)> perde;  // loses the window's connection
    std::function<void()> volta;                          // the cause goes away
    QString erro;
  };
  std::optional<dztest::TServerPaused> pausa;
  const TCase cases[] = {
      {"the server paused: the call ended at the configured limit, then the server goes on",
       [&](const std::string&) { EXPECT_TRUE(pausa.emplace().Paused()); }, [&] { pausa.reset(); },
       "O servidor não respondeu em 2 s."},
      {"the server killed, then started again", [](const std::string&) { EXPECT_EQ(FbServer("kill"), 0); },
       [] { EXPECT_EQ(FbServer("start"), 0); }, "Error reading data from the connection."},
      {"the attachment ended by an administrator",
       [](const std::string& banco) { EXPECT_EQ(dztest::EndOtherAttachments(banco), 1); }, [] {},
       "connection shutdown"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TRestartServer reinicia;
    TTestDatabase db(Catalogo(), true);
    const std::string banco = dztest::OnServer(db.Path());
    TTempDir config;
    dztest::WriteFile(config.File("BaseAudio.ini"), "[BANCO]\nCAMINHO=" + banco + "\nTEMPO_LIMITE=2\n");
    TCaixasGravadas caixas;
    TFrmPrincipal janela(config.Path().string() + "/");
    ASSERT_TRUE(janela.Catalogo.DB_Velmar.Connected());
    janela.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&janela));

    {
      TNoPasso terceira(janela.GaugeGeral, 3, [&] { c.perde(banco); });
      Click(janela.BAlterar);
    }
    ASSERT_EQ(caixas.caixas.size(), 1u);
    EXPECT_EQ(caixas.caixas[0].tipo, TCaixa::TTipo::Erro);
    EXPECT_TRUE(caixas.caixas[0].texto.startsWith(c.erro)) << caixas.caixas[0].texto.toStdString();
    EXPECT_EQ(janela.GaugeGeral->Progress(), 3);
    EXPECT_FALSE(janela.Catalogo.DB_Velmar.Connected());

    c.volta();
    EXPECT_THAT(Linhas(banco), ElementsAre("M|10|<null>|00:00", "M|20|<null>|00:00", "M|30|2|00:02", "M|40|3|00:03",
                                           "V|1|<null>|00:00"));
    caixas.caixas.clear();
    Click(janela.BAlterar);
    EXPECT_EQ(caixas.Textos(), QStringList{Sucesso});
    EXPECT_EQ(janela.GaugeGeral->Maximum(), 3);  // the rows that still lacked a length
    EXPECT_THAT(Linhas(banco),
                ElementsAre("M|10|2|00:02", "M|20|3|00:03", "M|30|2|00:02", "M|40|3|00:03", "V|1|3|00:03"));
  }
}

}  // namespace
