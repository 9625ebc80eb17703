#include "app/UPrincipal.h"

#include "app/Aplicacao.h"
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

// The window's run: the configuration in pastaConfiguracao, every row
// written, the next rows' files measured ahead on the same bounded pool as
// the companion's (everything the station sees stays on the GUI thread, row
// by row), no check.
TPedidoExecucao PedidoDaJanela(const std::string& pastaConfiguracao, TSinaisParada* sinais) {
  TPedidoExecucao pedido;
  pedido.arranque.arquivoConfiguracao = pastaConfiguracao + ConfigFileName;
  pedido.arranque.sinais = sinais;
  pedido.modo = TModoAtualizacao::Gravacao;
  pedido.paralelo = ParaleloPadrao;
  pedido.conferencia = TConferencia::Nenhuma;
  return pedido;
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

TFrmPrincipal::TFrmPrincipal(const std::string& pastaConfiguracao, TSinaisParada* sinais, QWidget* parent)
    // Title bar with the system menu and the close box only; a thin fixed border on Windows.
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      contexto_(PedidoDaJanela(pastaConfiguracao, sinais)),
      Catalogo(contexto_.Catalogo()),
      sinais_(sinais) {
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
  // its built-in database name and is made by the first run. (The context
  // has read the file; a wrong [CAMINHOS] is shown when a run is asked for.)
  if (!contexto_.ArquivoLido()) return;
  try {
    Catalogo.DB_Velmar.Connect();
  } catch (...) {
    // The reason is dropped; the next run tries again and shows its own
    // error. A stop signal ended the connect: the program ends, no box.
    if (!Interromper()) Mensagem("Não foi possível conectar com a base de dados");
  }
}

void TFrmPrincipal::BAlterarClick() {
  // A wrong configuration is shown even when a stop signal is waiting.
  if (!contexto_.Erro().empty()) throw std::runtime_error(contexto_.Erro());
  try {
    contexto_.Executa(*this);
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

bool TFrmPrincipal::Interromper() { return sinais_ != nullptr && sinais_->Recebido() != 0; }
