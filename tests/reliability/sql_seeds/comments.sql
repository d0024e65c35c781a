/* c */ select 1 -- end
from dual