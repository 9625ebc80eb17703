#include "app/UPrincipal.h"

#include "app/Aplicacao.h"
#include "run/Arranque.h"
#include "run/Atualizacao.h"
#include "run/MedicaoAntecipada.h"
#include "app/CaixasMensagem.h"
#include "run/SinaisParada.h"
#include "app/Gauge.h"
#include "app/ImageButton.h"
#include "catalogue/Config.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <stdexcept>

namespace {

constexpr int FontPointSize = 8;  // 11 pixels at 96 dots per inch

QLabel* BoldLabel(QWidget* parent, const QString& text, QPoint position) {
  auto* label = new QLabel(text, parent);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  label->move(position);
  label->adjustSize();  // sized to its text
  return label;
}

TGauge* Bar(QWidget* parent, const QRect& geometry) {
  auto* gauge = new TGauge(parent);
  gauge->setGeometry(geometry);
  return gauge;
}

TImageButton* Button(QWidget* parent, const QString& caption, const QString& image, const QRect& geometry) {
  auto* button = new TImageButton(parent);
  button->SetCaption(caption);
  button->SetImage(QPixmap(image));
  button->setGeometry(geometry);
  return button;
}

}  // namespace

QFont FonteDaJanela() {
  QFont font = QFontDatabase::families().contains(QStringLiteral("MS Sans Serif"))
                   ? QFont(QStringLiteral("MS Sans Serif"))
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(FontPointSize);
  font.setBold(false);
  font.setItalic(false);
  return font;
}

TFrmPrincipal::TFrmPrincipal(const std::string& pastaConfiguracao, QWidget* parent)
    // Title bar with the system menu and the close box only; a thin fixed border on Windows.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      pastaConfiguracao_(pastaConfiguracao) {
  Q_INIT_RESOURCE(Imagens);
  setObjectName(QStringLiteral("FrmPrincipal"));
  setWindowTitle(TituloAplicacao());
  setFont(FonteDaJanela());
  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Button));
  setPalette(colours);
  setAutoFillBackground(true);
  setFixedSize(ClientWidth, ClientHeight);

  BFechar = Button(this, QStringLiteral("Fechar"), QStringLiteral(":/imagens/Desligar.png"), QRect(239, 85, 100, 50));
  BAlterar = Button(this, QStringLiteral("Atualizar"), QStringLiteral(":/imagens/Relogio.png"), QRect(137, 85, 100, 50));
  GaugeGeral = Bar(this, QRect(8, 64, 465, 17));
  GaugeAtual = Bar(this, QRect(8, 24, 465, 17));
  lblProgressao = BoldLabel(this, QStringLiteral("Progresso:"), QPoint(8, 8));
  Label1 = BoldLabel(this, QStringLiteral("Progresso Geral:"), QPoint(8, 48));
  connect(BAlterar, &TImageButton::Clicked, this, &TFrmPrincipal::BAlterarClick);
  connect(BFechar, &TImageButton::Clicked, this, &TFrmPrincipal::BFecharClick);

  // Centred on the screen when first shown.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - QPoint(ClientWidth / 2, ClientHeight / 2));
  }

  FormCreate();
}

TFrmPrincipal::~TFrmPrincipal() = default;

void TFrmPrincipal::FormCreate() {
  // Without the configuration file nothing happens now: the connection keeps
  // its built-in database name and is made by the first run.
  TPedidoArranque pedido;
  pedido.arquivoConfiguracao = pastaConfiguracao_ + ConfigFileName;
  TArranque arranque = PreparaArranque(Catalogo, pedido);
  if (!arranque.arquivoLido) return;
  mapeamento_ = std::move(arranque.mapeamento);
  erroMapeamento_ = std::move(arranque.erro);
  try {
    Catalogo.DB_Velmar.Connect();
  } catch (...) {
    // The reason is dropped; the next run tries again and shows its own error.
    Mensagem("Não foi possível conectar com a base de dados");
  }
}

void TFrmPrincipal::BAlterarClick() {
  if (!erroMapeamento_.empty()) throw std::runtime_error(erroMapeamento_);
  try {
    // The next rows' files are measured ahead on the same bounded pool as the
    // companion's; everything the station sees (writes, commits, bars,
    // messages) stays on this thread, row by row.
    TMedicaoAntecipada medicao(ParaleloPadrao, mapeamento_, TConferencia::Nenhuma);
    TAtualizacao atualizacao(Catalogo, *this, TModoAtualizacao::Gravacao, mapeamento_);
    atualizacao.MedeCom(medicao);
    atualizacao.Executa();
  } catch (...) {
    // A stop signal ended the call the run waited in: no error box, the
    // program ends as below.
    if (!Interromper()) throw;
  }
  // A stop signal ended the run after a row: the program ends as "Fechar" ends it.
  if (Interromper()) BFecharClick();
}

void TFrmPrincipal::BFecharClick() { close(); }

TGauge* TFrmPrincipal::Gauge(TBarra barra) const { return barra == TBarra::Atual ? GaugeAtual : GaugeGeral; }

void TFrmPrincipal::DefineMaximo(TBarra barra, std::int32_t maximo) { Gauge(barra)->SetMaximum(maximo); }

void TFrmPrincipal::DefineProgresso(TBarra barra, std::int32_t progresso) { Gauge(barra)->SetProgress(progresso); }

std::int32_t TFrmPrincipal::Progresso(TBarra barra) const { return Gauge(barra)->Progress(); }

void TFrmPrincipal::DefineRotulo(const std::string& texto) {
  lblProgressao->setText(QString::fromStdString(texto));
  lblProgressao->adjustSize();
}

void TFrmPrincipal::Mensagem(const std::string& texto) { TAplicacao::Caixas().Mensagem(QString::fromStdString(texto)); }

void TFrmPrincipal::AtendeSinais(TSinaisParada& sinais) {
  sinais_ = &sinais;
  Catalogo.DB_Velmar.SetStopRequested([&sinais] { return sinais.Recebido() != 0; });
}

bool TFrmPrincipal::Interromper() { return sinais_ != nullptr && sinais_->Recebido() != 0; }
