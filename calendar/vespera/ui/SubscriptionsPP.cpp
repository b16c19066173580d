#include <vespera/ui/SubscriptionsPP.h>

#include <vespera/core/AgentSettings.h>

#include <eventview/DialogButton.h>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

CSubscriptionsPP::CSubscriptionsPP(QWidget* parent) : CPropertyPage("Subscriptions", "#Subscriptions", parent)
{
    m_list = new QTreeWidget;
    m_list->setObjectName("subscriptions");
    m_list->setHeaderLabels({"Schedule", "Last fetched", "Result"});
    m_list->setRootIsDecorated(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    connect(m_list, &QTreeWidget::currentItemChanged, this, &CSubscriptionsPP::UpdateEndButton);
    m_end = NewDialogButton("End Subscription", "endSubscription");
    connect(m_end, &QPushButton::clicked, this, &CSubscriptionsPP::OnEnd);
    m_refreshHours = new QSpinBox;
    m_refreshHours->setObjectName("refreshHours");
    m_refreshHours->setRange(1, CAgentSettings::MaxScheduleRefreshHours);
    m_refreshHours->setSuffix(" hours");
    auto* label = new QLabel("Fetch subscribed schedules again every");
    label->setBuddy(m_refreshHours);
    auto* period = new QHBoxLayout;
    period->addWidget(label);
    period->addWidget(m_refreshHours);
    period->addStretch();
    period->addWidget(m_end);
    Fields()->addWidget(m_list, 1);
    Fields()->addLayout(period);
    UpdateEndButton();
}

void CSubscriptionsPP::Load(const CSubscriptionsPageInput& input)
{
    m_loaded = input;
    m_ended.clear();
    m_list->clear();
    for (const CSubscriptionsPageInput::SRow& row : input.rows)
        m_list->addTopLevelItem(
            new QTreeWidgetItem({QString::fromStdString(row.address), QString::fromStdString(row.lastFetch),
                                 QString::fromStdString(row.result)}));
    m_refreshHours->setValue(input.refreshHours);
    UpdateEndButton();
}

CSubscriptionsPageInput CSubscriptionsPP::Read() const
{
    CSubscriptionsPageInput page = m_loaded;
    page.refreshHours = m_refreshHours->value();
    page.ended = m_ended;
    page.rows.clear();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        page.rows.push_back(
            {item->text(0).toStdString(), item->text(1).toStdString(), item->text(2).toStdString()});
    }
    return page;
}

void CSubscriptionsPP::OnEnd()
{
    QTreeWidgetItem* item = m_list->currentItem();
    if (!item)
        return;
    m_ended.push_back(item->text(0).toStdString());
    delete item;
    UpdateEndButton();
}

void CSubscriptionsPP::UpdateEndButton()
{
    m_end->setEnabled(m_list->currentItem() != nullptr);
}
