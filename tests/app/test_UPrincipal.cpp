#include "app/UPrincipal.h"

#include "tests/app/AppTestSupport.h"
#include "app/Aplicacao.h"
#include "tests/support/CatalogueDb.h"
#include "app/Gauge.h"
#include "app/ImageButton.h"
#include "tests/support/SampleFiles.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

namespace {

using dztest::TCaixa;
using dztest::TCaixasGravadas;
using dztest::Musicas;
using dztest::TSession;
using dztest::TTestDatabase;
using dztest::TTempDir;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::StartsWith;

const QString NaoConectou = QString::fromUtf8("Não foi possível conectar com a base de dados");
const QString Sucesso = QString::fromUtf8("Atualização realizada com sucesso.");
const QString NadaAFazer = QString::fromUtf8("Não há arquivos sem duração cadastradas.");

// Records what a bar shows each time it is painted, with the phase label of that moment.
class TPinturas : public QObject {
public:
  TPinturas(TGauge* gauge, QLabel* label) : gauge_(gauge), label_(label) { gauge->installEventFilter(this); }
  QStringList vistas;  // "33% Progresso: Músicas"

protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) vistas << gauge_->PercentageText() + " " + label_->text();
    return false;
  }

private:
  TGauge* gauge_;
  QLabel* label_;
};

// A configuration folder, with or without BaseAudio.ini.
class TConfiguracao {
public:
  explicit TConfiguracao(const std::string* ini = nullptr) {
    if (ini != nullptr) dztest::WriteFile(dir_.File("BaseAudio.ini"), *ini);
  }
  std::string Folder() const { return dir_.Path().string() + "/"; }

private:
  TTempDir dir_;
};

std::string Ini(const std::string& databasePath) { return "[BANCO]\nCAMINHO=" + databasePath + "\n"; }

void Click(TImageButton* button) { QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center()); }

class UPrincipalTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { audio_ = dztest::SampleFolder(dztest::TSampleSet::Catalogue); }
  static std::string File(const std::string& name) { return (audio_ / name).string(); }

  // Three music rows (a WAV file, an MP3 file, a missing file) and one jingle.
  static std::string ThreeAndOne() {
    return "INSERT INTO TB_PASTAS VALUES (1, '" + audio_.string() + "/');\n" +
           dztest::InsereMusica(30, "00:00", 1, "tres.wav") +
           dztest::InsereMusica(20, "00:00", 1, "cinco.mp3") +
           dztest::InsereMusica(10, "00:00", 1, "falta.wav") +
           "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) VALUES (1, '00:00', '" +
           File("dois.wav") + "');\n";
  }

  // The window shown, with its bars' paints recorded from then on.
  struct TJanela {
    explicit TJanela(const std::string& configFolder) : janela(configFolder) {
      janela.show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&janela));
      QApplication::processEvents();
      atual = std::make_unique<TPinturas>(janela.GaugeAtual, janela.lblProgressao);
      geral = std::make_unique<TPinturas>(janela.GaugeGeral, janela.lblProgressao);
    }
    TFrmPrincipal janela;
    std::unique_ptr<TPinturas> atual, geral;
  };

  static std::filesystem::path audio_;
};

std::filesystem::path UPrincipalTest::audio_;

TEST_F(UPrincipalTest, FreshWindow) {
  TCaixasGravadas caixas;
  TConfiguracao semIni;
  TFrmPrincipal janela(semIni.Folder());

  EXPECT_EQ(janela.windowTitle(), "Diruzevev Odezari - Velmar Zivorezo");
  EXPECT_EQ(janela.objectName(), "FrmPrincipal");
  // Close box and system menu only; fixed size.
  const Qt::WindowFlags flags = janela.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::Window));
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(janela.size(), QSize(481, 147));
  EXPECT_EQ(janela.minimumSize(), QSize(481, 147));
  EXPECT_EQ(janela.maximumSize(), QSize(481, 147));
  // Centred on the screen.
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_NEAR(janela.x(), screen.x() + (screen.width() - 481) / 2, 1);
  EXPECT_NEAR(janela.y(), screen.y() + (screen.height() - 147) / 2, 1);
  // Button-face background, the window's font.
  EXPECT_EQ(janela.palette().color(QPalette::Window), janela.palette().color(QPalette::Button));
  EXPECT_TRUE(janela.autoFillBackground());
  EXPECT_EQ(janela.font().pointSize(), 8);
  EXPECT_FALSE(janela.font().bold());
  const QString family = QFontDatabase::families().contains("MS Sans Serif")
                             ? QString("MS Sans Serif")
                             : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
  EXPECT_EQ(janela.font().family(), family);

  struct TWidget {
    const char* what;
    QWidget* widget;
    QRect geometry;  // an empty size: sized to its contents
  };
  const TWidget widgets[] = {
      {"lblProgressao", janela.lblProgressao, QRect(8, 8, 0, 0)},
      {"GaugeAtual", janela.GaugeAtual, QRect(8, 24, 465, 17)},
      {"Label1", janela.Label1, QRect(8, 48, 0, 0)},
      {"GaugeGeral", janela.GaugeGeral, QRect(8, 64, 465, 17)},
      {"BAlterar", janela.BAlterar, QRect(137, 85, 100, 50)},
      {"BFechar", janela.BFechar, QRect(239, 85, 100, 50)},
  };
  for (const auto& w : widgets) {
    SCOPED_TRACE(w.what);
    EXPECT_EQ(w.widget->parentWidget(), &janela);
    EXPECT_EQ(w.widget->pos(), w.geometry.topLeft());
    if (!w.geometry.size().isEmpty()) {
      EXPECT_EQ(w.widget->size(), w.geometry.size());
    } else {
      EXPECT_EQ(w.widget->size(), w.widget->sizeHint());
    }
  }
  EXPECT_EQ(janela.lblProgressao->text(), "Progresso:");
  EXPECT_EQ(janela.Label1->text(), "Progresso Geral:");
  EXPECT_TRUE(janela.lblProgressao->font().bold());
  EXPECT_TRUE(janela.Label1->font().bold());
  for (TGauge* gauge : {janela.GaugeAtual, janela.GaugeGeral}) {
    EXPECT_EQ(gauge->Maximum(), 100);
    EXPECT_EQ(gauge->Progress(), 0);
    EXPECT_EQ(gauge->PercentageText(), "0%");
  }
  EXPECT_EQ(janela.BAlterar->Caption(), "Atualizar");
  EXPECT_EQ(janela.BFechar->Caption(), "Fechar");
  for (TImageButton* button : {janela.BAlterar, janela.BFechar}) {
    EXPECT_EQ(button->Image().size(), QSize(32, 32));
    EXPECT_TRUE(button->Image().hasAlphaChannel());
  }
  // Without BaseAudio.ini nothing happens at start-up.
  EXPECT_TRUE(caixas.caixas.empty());
  EXPECT_FALSE(janela.Catalogo.DB_Velmar.Connected());
  EXPECT_EQ(janela.Catalogo.DB_Velmar.DatabaseName(), DefaultDatabaseName);
}

// Start-up with each kind of configuration, then a press of "Atualizar".
TEST_F(UPrincipalTest, StartUp) {
  struct TCase {
    const char* what;
    std::function<std::unique_ptr<std::string>(const TTestDatabase&)> ini;  // null: no file
    bool connected;
    QStringList startUpBoxes;
    std::function<std::string(const TTestDatabase&)> databaseName;
    QString runText;  // start of the first box's text after the press
    QString runTextEnd;
  };
  const auto none = [](const TTestDatabase&) { return std::unique_ptr<std::string>(); };
  const auto file = [](std::string text) {
    return [text](const TTestDatabase&) { return std::make_unique<std::string>(text); };
  };
  const TCase cases[] = {
      // On this system the client reads the drive letter of the built-in path as a host name.
      {"no file: silent, the built-in path, which the run cannot reach", none, false, {},
       [](const TTestDatabase&) { return std::string(DefaultDatabaseName); },
       "Unable to complete network request to host \"C\"", "."},
      {"the catalogue's path: connected at once",
       [](const TTestDatabase& db) { return std::make_unique<std::string>(Ini(db.Path())); }, true, {},
       [](const TTestDatabase& db) { return db.Path(); }, Sucesso, Sucesso},
      {"empty CAMINHO", file(Ini("")), false, {NaoConectou}, [](const TTestDatabase&) { return std::string(); },
       "Database name is missing.", "Database name is missing."},
      {"no CAMINHO in the section", file("[BANCO]\nOUTRO=x\n"), false, {NaoConectou},
       [](const TTestDatabase&) { return std::string(); }, "Database name is missing.", "Database name is missing."},
      {"no section BANCO", file("[OUTRA]\nCAMINHO=/x.fdb\n"), false, {NaoConectou},
       [](const TTestDatabase&) { return std::string(); }, "Database name is missing.", "Database name is missing."},
      {"a path where there is no database", file(Ini("/nonexistent/x.fdb")), false, {NaoConectou},
       [](const TTestDatabase&) { return std::string("/nonexistent/x.fdb"); },
       "I/O error during \"open\" operation for file \"/nonexistent/x.fdb\"", "No such file or directory."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(ThreeAndOne());
    const auto ini = c.ini(db);
    TConfiguracao config(ini.get());
    TCaixasGravadas caixas;
    TFrmPrincipal janela(config.Folder());
    EXPECT_EQ(caixas.Textos(), c.startUpBoxes);
    for (const auto& caixa : caixas.caixas) {
      EXPECT_EQ(caixa.tipo, TCaixa::TTipo::Mensagem);
      EXPECT_FALSE(caixa.janelaVisivel);  // before the window shows
    }
    EXPECT_EQ(janela.Catalogo.DB_Velmar.Connected(), c.connected);
    EXPECT_EQ(janela.Catalogo.DB_Velmar.DatabaseName(), c.databaseName(db));

    janela.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&janela));
    caixas.caixas.clear();
    Click(janela.BAlterar);
    ASSERT_EQ(caixas.caixas.size(), 1u);
    EXPECT_EQ(caixas.caixas[0].tipo, c.connected ? TCaixa::TTipo::Mensagem : TCaixa::TTipo::Erro);
    EXPECT_TRUE(caixas.caixas[0].texto.startsWith(c.runText)) << caixas.caixas[0].texto.toStdString();
    EXPECT_TRUE(caixas.caixas[0].texto.endsWith(c.runTextEnd)) << caixas.caixas[0].texto.toStdString();
    // A failed connection touches no bar.
    if (!c.connected) {
      EXPECT_EQ(janela.GaugeGeral->Maximum(), 100);
      EXPECT_EQ(janela.lblProgressao->text(), "Progresso:");
    }
  }
}

// The configuration file beside the running executable, as the program looks for it.
TEST_F(UPrincipalTest, ConfigurationBesideTheExecutable) {
  TTestDatabase db(ThreeAndOne());
  const std::string ini = ExecutableFolder() + "BaseAudio.ini";
  ASSERT_FALSE(std::filesystem::exists(ini));
  struct TRemove {
    std::string path;
    ~TRemove() { std::filesystem::remove(path); }
  } remove{ini};
  dztest::WriteFile(ini, Ini(db.Path()));
  TCaixasGravadas caixas;
  TFrmPrincipal janela;
  EXPECT_TRUE(janela.Catalogo.DB_Velmar.Connected());
  EXPECT_EQ(janela.Catalogo.DB_Velmar.DatabaseName(), db.Path());
  EXPECT_TRUE(caixas.caixas.empty());
}

// The window reads BaseAudio.ini's [CAMINHOS] too: a catalogue written on
// Windows is filled in; a wrong section keeps every run from starting, with
// the reason in the error box.
TEST_F(UPrincipalTest, WindowsCatalogueThroughTheSectionCaminhos) {
  TTestDatabase db("INSERT INTO TB_PASTAS VALUES (1, 'C:\\Audio\\');\n" +
                   dztest::InsereMusica(20, "00:00", 1, "CINCO.MP3") +
                   dztest::InsereMusica(10, "00:00", 1, "Tres.WAV") +
                   "INSERT INTO TB_VINHETAS (VIN_CODIGO, VIN_TEMPO, VIN_ARQUIVO) VALUES (1, '00:00', '\\\\srv\\audio\\DOIS.wav');\n");
  const std::string pasta = audio_.string();
  const std::string certo = Ini(db.Path()) + "[CAMINHOS]\nDE1=c:\\audio\\\nPARA1=" + pasta + "\nDE2=\\\\srv\\audio\\\nPARA2=" +
                            pasta + "/\n";
  {
    TConfiguracao config(&certo);
    TCaixasGravadas caixas;
    TJanela j(config.Folder());
    Click(j.janela.BAlterar);
    EXPECT_EQ(caixas.Textos(), QStringList{Sucesso});
    EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|3|00:03", "20|5|00:05"));
    EXPECT_THAT(dztest::Linhas(db.Path(), "SELECT VIN_SEGUNDOS, VIN_TEMPO FROM TB_VINHETAS"), ElementsAre("2|00:02"));
  }
  dztest::Executa(db.Path(), {"UPDATE TB_MUSICAS SET MUS_TEMPO = '00:00', MUS_SEGUNDOS = NULL"});
  const std::string errado = Ini(db.Path()) + "[CAMINHOS]\nDE1=c:\\audio\\\nPARA2=" + pasta + "\n";
  TConfiguracao config(&errado);
  TCaixasGravadas caixas;
  TJanela j(config.Folder());
  EXPECT_TRUE(caixas.caixas.empty());  // start-up connects as ever
  EXPECT_TRUE(j.janela.Catalogo.DB_Velmar.Connected());
  for (int vez = 0; vez < 2; ++vez) {
    Click(j.janela.BAlterar);
    ASSERT_EQ(caixas.caixas.size(), static_cast<std::size_t>(vez + 1));
    EXPECT_EQ(caixas.caixas.back().tipo, TCaixa::TTipo::Erro);
    EXPECT_EQ(caixas.caixas.back().texto,
              QString::fromStdString(config.Folder() + "BaseAudio.ini: [CAMINHOS] DE1 sem PARA1."));
  }
  EXPECT_EQ(j.janela.lblProgressao->text(), "Progresso:");
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|<null>|00:00", "20|<null>|00:00"));
}

// Three music rows and one jingle, pressed twice: what each bar shows as it is
// redrawn during the run (the run keeps the event loop waiting, so these are
// the redraws the user sees), the label, the values written, the message.
TEST_F(UPrincipalTest, RunAndSecondPress) {
  TTestDatabase db(ThreeAndOne());
  const std::string ini = Ini(db.Path());
  TConfiguracao config(&ini);
  TCaixasGravadas caixas;
  TJanela j(config.Folder());
  const QString m = QString::fromUtf8("Progresso: Músicas"), v = "Progresso: Vinhetas";

  Click(j.janela.BAlterar);
  EXPECT_THAT(j.atual->vistas, ElementsAre("0% Progresso:",  // maximum 3 (set before the label)
                                           "33% " + m, "66% " + m, "100% " + m,
                                           "0% " + m,  // progress 0 for the jingles
                                           "0% " + m,  // maximum 1
                                           "100% " + v));
  EXPECT_THAT(j.geral->vistas, ElementsAre("0% Progresso:", "25% " + m, "50% " + m, "75% " + m, "100% " + v));
  EXPECT_EQ(caixas.Textos(), QStringList{Sucesso});
  EXPECT_EQ(caixas.caixas[0].tipo, TCaixa::TTipo::Mensagem);
  EXPECT_EQ(j.janela.lblProgressao->text(), v);
  EXPECT_EQ(j.janela.GaugeAtual->PercentageText(), "100%");
  EXPECT_EQ(j.janela.GaugeGeral->PercentageText(), "100%");
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
  EXPECT_THAT(dztest::Linhas(db.Path(), "SELECT VIN_CODIGO, VIN_SEGUNDOS, VIN_TEMPO FROM TB_VINHETAS"), ElementsAre("1|2|00:02"));

  // Screenshots of the fresh window and of the window after a run, to look at.
  {
    TConfiguracao semIni;
    TFrmPrincipal fresh(semIni.Folder());
    const std::filesystem::path folder = std::filesystem::path(dztest::BinaryDir()) / "screenshots";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(fresh.grab().save(QString::fromStdString((folder / "fresh-window.png").string())));
    ASSERT_TRUE(j.janela.grab().save(QString::fromStdString((folder / "after-run.png").string())));
    EXPECT_EQ(QImage(QString::fromStdString((folder / "after-run.png").string())).size(), QSize(481, 147));
  }

  // The second press selects again: only the row whose file is missing
  // still lacks a length; the length another program gave row 30 stays.
  dztest::Executa(db.Path(), {"UPDATE TB_MUSICAS SET MUS_SEGUNDOS = 99, MUS_TEMPO = '01:39' WHERE MUS_CODIGO = 30"});
  j.atual->vistas.clear();
  j.geral->vistas.clear();
  caixas.caixas.clear();
  Click(j.janela.BAlterar);
  EXPECT_THAT(j.atual->vistas, ElementsAre("0% " + v,  // progress 0 (the label keeps the last phase)
                                           "0% " + v,  // maximum 1
                                           "100% " + m,
                                           "0% " + m,    // progress 0 for the jingles
                                           "0% " + m));  // maximum 0
  EXPECT_THAT(j.geral->vistas, ElementsAre("100% " + v,  // maximum 1, progress still 4
                                           "0% " + v, "100% " + m));
  EXPECT_EQ(caixas.Textos(), QStringList{Sucesso});
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "20|5|00:05", "30|99|01:39"));
}

TEST_F(UPrincipalTest, NothingToDo) {
  TTestDatabase db;
  const std::string ini = Ini(db.Path());
  TConfiguracao config(&ini);
  TCaixasGravadas caixas;
  TJanela j(config.Folder());
  Click(j.janela.BAlterar);
  EXPECT_EQ(caixas.Textos(), QStringList{NadaAFazer});
  EXPECT_EQ(j.janela.lblProgressao->text(), "Progresso: Vinhetas");
  EXPECT_EQ(j.janela.GaugeAtual->PercentageText(), "0%");
  EXPECT_EQ(j.janela.GaugeGeral->PercentageText(), "0%");
  EXPECT_EQ(j.janela.GaugeGeral->Maximum(), 0);
}

// Every failure ends the run in the error box (full stop rule applied); the
// bars and the label keep what they showed; the window stays usable.
TEST_F(UPrincipalTest, FailuresInTheErrorBox) {
  struct TCase {
    const char* what;
    std::string sql;
    std::function<std::unique_ptr<TSession>(const TTestDatabase&)> lock;
    QString textStart, textEnd;
    QString atual, geral, label;  // what stays shown
    std::vector<std::string> musicas;
  };
  const auto noLock = [](const TTestDatabase&) { return std::unique_ptr<TSession>(); };
  const std::vector<std::string> untouched = {"10|<null>|00:00", "20|<null>|00:00", "30|<null>|00:00"};
  const TCase cases[] = {
      {"missing column: a full stop after the name",
       ThreeAndOne() + "COMMIT;\nALTER TABLE TB_VINHETAS DROP VIN_SEGUNDOS;\n", noLock,
       "Q_Vinhetas: Field 'VIN_SEGUNDOS' not found.", "Q_Vinhetas: Field 'VIN_SEGUNDOS' not found.", "0%", "0%",
       "Progresso:", untouched},
      {"missing table", ThreeAndOne() + "COMMIT;\nDROP TABLE TB_VINHETAS;\n", noLock, "Dynamic SQL Error\n", ".",
       "0%", "0%", "Progresso:", untouched},
      {"a locked row: the one before it stays written",
       ThreeAndOne(),
       [](const TTestDatabase& db) {
         auto other = std::make_unique<TSession>(db.Path());
         other->Exec("UPDATE TB_MUSICAS SET MUS_NOME = 'x' WHERE MUS_CODIGO = 20");
         return other;
       },
       "deadlock\nupdate conflicts with concurrent update\nconcurrent transaction number is ", ".", "66%", "50%",
       QString::fromUtf8("Progresso: Músicas"), {"10|<null>|00:00", "20|<null>|00:00", "30|3|00:03"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(c.sql);
    const std::string ini = Ini(db.Path());
    TConfiguracao config(&ini);
    TCaixasGravadas caixas;
    TJanela j(config.Folder());
    {
      const auto lock = c.lock(db);
      Click(j.janela.BAlterar);
    }
    ASSERT_EQ(caixas.caixas.size(), 1u);
    EXPECT_EQ(caixas.caixas[0].tipo, TCaixa::TTipo::Erro);
    EXPECT_TRUE(caixas.caixas[0].texto.startsWith(c.textStart)) << caixas.caixas[0].texto.toStdString();
    EXPECT_TRUE(caixas.caixas[0].texto.endsWith(c.textEnd)) << caixas.caixas[0].texto.toStdString();
    EXPECT_EQ(j.janela.GaugeAtual->PercentageText(), c.atual);
    EXPECT_EQ(j.janela.GaugeGeral->PercentageText(), c.geral);
    EXPECT_EQ(j.janela.lblProgressao->text(), c.label);
    EXPECT_THAT(Musicas(db.Path()), ElementsAreArray(c.musicas));

    // Usable again: another press runs (and, once the cause is gone, does the job).
    caixas.caixas.clear();
    Click(j.janela.BAlterar);
    ASSERT_EQ(caixas.caixas.size(), 1u);
    if (c.sql == ThreeAndOne()) {
      EXPECT_EQ(caixas.Textos(), QStringList{Sucesso});
      EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
    } else {
      EXPECT_TRUE(caixas.caixas[0].texto.startsWith(c.textStart));
    }
  }
}

// Rows deleted or changed by another program since the first run: the second
// press selects again and leaves them as the other program left them.
TEST_F(UPrincipalTest, RowsChangedBeforeTheSecondPress) {
  TTestDatabase db(ThreeAndOne());
  const std::string ini = Ini(db.Path());
  TConfiguracao config(&ini);
  TCaixasGravadas caixas;
  TJanela j(config.Folder());
  Click(j.janela.BAlterar);
  ASSERT_EQ(caixas.Textos(), QStringList{Sucesso});
  dztest::Executa(db.Path(), {"DELETE FROM TB_MUSICAS WHERE MUS_CODIGO = 20",
                              "UPDATE TB_MUSICAS SET MUS_SEGUNDOS = 99 WHERE MUS_CODIGO = 30"});
  caixas.caixas.clear();
  Click(j.janela.BAlterar);
  EXPECT_EQ(caixas.Textos(), QStringList{Sucesso});
  EXPECT_EQ(caixas.caixas[0].tipo, TCaixa::TTipo::Mensagem);
  EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "30|99|00:03"));
}

// "Fechar" and the close box both close the window, which ends the event loop
// and so the program; the window's end detaches from the database.
TEST_F(UPrincipalTest, ClosingEndsTheProgram) {
  struct TCase {
    const char* what;
    std::function<void(TFrmPrincipal&)> close;
  };
  const TCase cases[] = {
      {"Fechar", [](TFrmPrincipal& janela) { Click(janela.BFechar); }},
      // What the window system does when the close box is pressed.
      {"the close box", [](TFrmPrincipal& janela) { janela.windowHandle()->close(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTestDatabase db(ThreeAndOne());
    const std::string ini = Ini(db.Path());
    TConfiguracao config(&ini);
    TCaixasGravadas caixas;
    const auto attachments = [&] {
      return dztest::Linhas(db.Path(), "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0");
    };
    auto janela = std::make_unique<TFrmPrincipal>(config.Folder());
    janela->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(janela.get()));
    Click(janela->BAlterar);
    ASSERT_EQ(caixas.Textos(), QStringList{Sucesso});

    // The event loop of the program, stopped by the closing (or, failing that, by a guard).
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    QTimer::singleShot(0, janela.get(), [&] { c.close(*janela); });
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(lastWindowClosed.count(), 1);
    EXPECT_FALSE(janela->isVisible());

    EXPECT_THAT(attachments(), ElementsAre("2"));  // the window's and the one asking
    janela.reset();
    EXPECT_THAT(attachments(), ElementsAre("1"));
    EXPECT_THAT(Musicas(db.Path()), ElementsAre("10|0|00:00", "20|5|00:05", "30|3|00:03"));
  }
}

}  // namespace
